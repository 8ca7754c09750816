#pragma once

#include "imementoorigin.h"
#include "source.h"

#include <QDialog>

#include <vector>

class Sources;

// The server Open dialog. For now it keeps only the recent items the File menu
// lists; browsing the server comes with the dialog itself.
class frmFileOpen : public QDialog, public IMementoOrigin
{
    Q_OBJECT
public:
    explicit frmFileOpen(QWidget *parent = nullptr);

    // The next showing reloads its lists from the server.
    void Reset();
    bool resetPending() const { return m_resetPending; }

    // Index 0 or less: every recent item in row order; n > 0: only the n-th.
    void GetRecent(int index, Sources &sources) const;
    void setRecent(std::vector<SourcePtr> items) { m_recent = std::move(items); }

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

private:
    std::vector<SourcePtr> m_recent;
    bool m_resetPending = true;
};

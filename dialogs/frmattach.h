#pragma once

#include <QDialog>
#include <QTimer>

// The Attach dialog for a running process. Attaching needs the server's client
// components, which this platform does not have: it is never available.
class frmAttach : public QDialog
{
    Q_OBJECT
public:
    explicit frmAttach(QWidget *parent = nullptr);

    bool IsAvailable() const { return false; }
    // Runs while an attach waits for the server's answer.
    QTimer tmrStatus;
};

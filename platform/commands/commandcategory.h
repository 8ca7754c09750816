#pragma once

#include <QString>

// A group of commands ("Debug", "Edit", ...). Routers decide many commands by
// their category's name alone.
class CommandCategory
{
public:
    CommandCategory(const QString &name, const QString &caption, bool visible)
        : m_name(name), m_caption(caption), m_visible(visible) {}

    QString name() const { return m_name; }
    QString caption() const { return m_caption; }
    bool visible() const { return m_visible; }
    void setVisible(bool on) { m_visible = on; }

private:
    QString m_name;
    QString m_caption;
    bool m_visible;
};

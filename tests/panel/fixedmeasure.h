#pragma once

#include "itextmeasure.h"

// Every character 100 twips wide, 120 in bold; every line 200 twips high (240 in
// bold, so a line's height shows the style it closed in).
class FixedMeasure : public ITextMeasure
{
public:
    qint32 charWidth(QChar) override { return m_bold ? 120 : 100; }
    qint32 lineHeight() override { return m_bold ? 240 : 200; }
    void applyStyle(char which, bool on) override
    {
        if (which == 'b')
            m_bold = on;
        else if (which == 'i')
            m_italic = on;
        else if (which == 'u')
            m_underline = on;
    }
    bool bold() const override { return m_bold; }
    bool italic() const override { return m_italic; }
    bool underline() const override { return m_underline; }

private:
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
};

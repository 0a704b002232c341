#pragma once

#include "WindowFields.h"

#include <QHash>

// Window fields held in memory, for logic tests that need no widgets. Each text set
// is counted: on the desktop each one repaints the window.
class FakeWindowFields final : public WindowFields
{
public:
    QString text(Field field) const override { return m_texts.value(field); }
    void setText(Field field, const QString &text) override
    {
        ++textsSet;
        m_texts[field] = text;
    }
    bool isEnabled(Field field) const override { return m_enabled.value(field, true); }
    void setEnabled(Field field, bool enabled) override { m_enabled[field] = enabled; }

    int textsSet = 0;

private:
    QHash<Field, QString> m_texts;
    QHash<Field, bool> m_enabled;
};

class FakeMeter final : public Meter
{
public:
    int maximum() const override { return m_maximum; }
    bool setMaximum(int maximum) override
    {
        if (maximum <= 0)
            return false;
        m_maximum = maximum;
        m_value = qMin(m_value, m_maximum);
        return true;
    }
    int value() const override { return m_value; }
    void setValue(int value) override { m_value = qBound(0, value, m_maximum); }

private:
    int m_maximum = 100;
    int m_value = 0;
};

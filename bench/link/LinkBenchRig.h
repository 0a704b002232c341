#pragma once

#include "BusyPointer.h"
#include "DeviceLink.h"
#include "IniSettingsStore.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "Pause.h"
#include "PseudoTerminal.h"
#include "QtSerialPort.h"
#include "Settings.h"
#include "WindowFields.h"

#include <QHash>
#include <QTemporaryDir>

#include <cstdio>

// The link as the program wires it, with a pseudo-terminal for the router and
// stand-ins for the window: boxes go to standard error, the log stays in memory.
class BenchBoxes final : public MessageBoxes
{
public:
    BoxAnswer show(const QString &text, const QString &title, BoxStyle) override
    {
        ++shown;
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return BoxAnswer::Ok;
    }
    int shown = 0;
};

class BenchFields final : public WindowFields
{
public:
    QString text(Field field) const override { return m_texts.value(field); }
    void setText(Field field, const QString &text) override { m_texts[field] = text; }
    bool isEnabled(Field) const override { return true; }
    void setEnabled(Field, bool) override {}

private:
    QHash<Field, QString> m_texts;
};

class MemoryLog final : public LogWriter
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        text += message;
        ++entries;
    }
    QString text;
    int entries = 0;
};

class NoBusyPointer final : public BusyPointer
{
public:
    void setBusy(bool) override {}
};

struct LinkBenchRig
{
    LinkBenchRig() { fields.setText(Field::FailPort, QStringLiteral("1")); }

    PseudoTerminal terminal;
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    BenchBoxes boxes;
    Settings settings{store, boxes};
    BenchFields fields;
    MemoryLog log;
    ThreadPause pause;
    NoBusyPointer busy;
    QtSerialPort port{[this](int) { return terminal.slavePath(); }};
    DeviceLink link{port, fields, settings, log, boxes, pause, busy};
};

#pragma once

#include "BusyPointer.h"
#include "DeviceLink.h"
#include "FakeWindowFields.h"
#include "IniSettingsStore.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "Pause.h"
#include "PseudoTerminal.h"
#include "QtSerialPort.h"
#include "Settings.h"
#include "WatchEvents.h"
#include "WindowFields.h"

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

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

class MemoryLog final : public LogWriter
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        bytes += message.toLocal8Bit();
        ++entries;
    }
    void WriteReceived(const QByteArray &received, bool) override
    {
        bytes += received;
        ++entries;
    }
    QByteArray bytes;
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
    FakeWindowFields fields;
    MemoryLog log;
    ThreadPause pause;
    NoBusyPointer busy;
    QtSerialPort port{[this](int) { return terminal.slavePath(); }};
    WatchEventHub events;
    DeviceLink link{port, fields, settings, log, boxes, pause, busy, events};
};

using SteadyTime = std::chrono::steady_clock::time_point;

// Runs send on this thread while another notes when each byte reaches the router.
// After hangUpAfter bytes (when given) it hangs up, as a router that goes away in
// the middle.
template <typename Send>
std::vector<SteadyTime> RecordArrivals(PseudoTerminal &terminal, Send send, int hangUpAfter = -1)
{
    std::vector<SteadyTime> arrivals;
    std::atomic<bool> started{false};
    std::atomic<bool> stop{false};
    std::thread router([&] {
        started.store(true);
        for (char byte = 0; !stop.load();) {
            if (!terminal.waitForByte(20, byte))
                continue;
            arrivals.push_back(std::chrono::steady_clock::now());
            if (static_cast<int>(arrivals.size()) == hangUpAfter) {
                terminal.hangUp();
                return;
            }
        }
    });
    // A byte that came before the thread watched would be timed late.
    while (!started.load())
        std::this_thread::yield();
    send();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.store(true);
    router.join();
    return arrivals;
}

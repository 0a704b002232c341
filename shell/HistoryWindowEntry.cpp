#include "HistoryWindowEntry.h"

#include "HistoryWindowModule.h"
#include "MessageBoxes.h"
#include "ShowInFront.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <utility>

HistoryWindowEntry::HistoryWindowEntry(HistorySource &source, const Clock &clock,
                                       MessageBoxes &boxes, QIcon icon, QString modulePath)
    : m_source(source), m_clock(clock), m_boxes(boxes), m_icon(std::move(icon)),
      m_modulePath(std::move(modulePath))
{
}

HistoryWindowEntry::~HistoryWindowEntry() = default;

QString HistoryWindowEntry::defaultModulePath()
{
    // Computed from the program's own place rather than a run path, so that the
    // installed program finds its module wherever the tree is installed.
    const QDir programFolder(QCoreApplication::applicationDirPath());
    QString beside = programFolder.filePath(QStringLiteral(CORVANE_HISTORY_MODULE_FILE));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(programFolder.filePath(
        QStringLiteral(CORVANE_MODULE_FOLDER "/" CORVANE_HISTORY_MODULE_FILE)));
}

QWidget *HistoryWindowEntry::open()
{
    if (!m_window) {
        const HistoryWindowModule *module = LoadModule();
        if (!module)
            return nullptr;
        m_window = module->makeWindow(m_source, m_clock, m_boxes);
        m_window->setWindowIcon(m_icon);
    }
    ShowInFront(*m_window);
    return m_window.get();
}

void HistoryWindowEntry::cycleDone(const CycleReport &)
{
    if (m_window)
        m_module->cycleArrived(*m_window);
}

const HistoryWindowModule *HistoryWindowEntry::LoadModule()
{
    if (m_module)
        return m_module;
    m_library.setFileName(m_modulePath);
    const auto entry =
        reinterpret_cast<HistoryWindowModuleEntry>(m_library.resolve(kHistoryWindowModuleEntry));
    if (!entry) {
        // The watch goes on without the window.
        m_boxes.show(QStringLiteral("The History window cannot be opened from %1:\n%2")
                         .arg(QDir::toNativeSeparators(m_modulePath), m_library.errorString()),
                     QStringLiteral("History"), BoxStyle::OkExclamation);
        return nullptr;
    }
    m_module = entry();
    return m_module;
}

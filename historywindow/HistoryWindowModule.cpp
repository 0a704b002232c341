#include "HistoryWindowModule.h"

#include "HistoryWindow.h"

#include <QtGlobal>

namespace {

class ChartsHistoryWindowModule final : public HistoryWindowModule
{
public:
    std::unique_ptr<QWidget> makeWindow(HistorySource &source, const Clock &clock,
                                        MessageBoxes &boxes) const override
    {
        return std::make_unique<HistoryWindow>(source, clock, boxes);
    }

    void cycleArrived(QWidget &window) const override
    {
        static_cast<HistoryWindow &>(window).cycleArrived();
    }
};

} // namespace

extern "C" Q_DECL_EXPORT const HistoryWindowModule *corvaneHistoryWindowModule()
{
    static const ChartsHistoryWindowModule module;
    return &module;
}

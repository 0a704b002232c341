#pragma once

#include "MessageBoxes.h"

// Passes every box on and counts the boxes that wait for an answer. A modal box
// runs a nested event loop, so timer ticks and tray clicks would otherwise reach
// the window while the handler that opened the box is still half-way through (a
// ping cycle, a send); whoever delivers them asks isBoxOpen() first and drops them.
class ModalGuard final : public MessageBoxes
{
public:
    explicit ModalGuard(MessageBoxes &boxes) : m_boxes(boxes) {}

    BoxAnswer show(const QString &text, const QString &title, BoxStyle style) override;
    bool isBoxOpen() const { return m_openBoxes > 0; }

private:
    MessageBoxes &m_boxes;
    int m_openBoxes = 0;
};

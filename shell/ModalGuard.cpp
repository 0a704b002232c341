#include "ModalGuard.h"

BoxAnswer ModalGuard::show(const QString &text, const QString &title, BoxStyle style)
{
    ++m_openBoxes;
    const BoxAnswer answer = m_boxes.show(text, title, style);
    --m_openBoxes;
    return answer;
}

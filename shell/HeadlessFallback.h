#pragma once

#include <QByteArray>
#include <QtGlobal>

// Runs the program headless, rather than letting it abort, when the display the
// session names does not answer (a user service that inherited a stale DISPLAY).
//
// Made before the application object: it names the platforms to try, those Qt
// would try for this session followed by offscreen, and holds back what Qt says
// while it tries them; asked to run headless, it names offscreen alone. Asked once
// the application object exists: whether the program runs headless. When a display
// was named but offscreen was taken, Qt's lines about the display are replaced by
// one line that says why; otherwise what was held back is passed on as it came.
class HeadlessFallback
{
public:
    explicit HeadlessFallback(bool headlessAsked);
    ~HeadlessFallback();
    HeadlessFallback(const HeadlessFallback &) = delete;
    HeadlessFallback &operator=(const HeadlessFallback &) = delete;

    bool runsHeadless();

private:
    QByteArray m_firstPlatform;
    QtMessageHandler m_previousHandler = nullptr;
    bool m_holding = false;
};

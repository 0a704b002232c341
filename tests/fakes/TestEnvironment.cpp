// Linked into every test binary: before main, and so before any application object
// reads it, the environment that makes widgets, dates and numbers come out the same
// on every machine, whether CTest or a developer starts the binary.
#include <QByteArray>
#include <QtGlobal>

namespace {

void SetTestEnvironment()
{
    // No display needed, and none of the desktop's scaling or theme.
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    qputenv("LC_ALL", QByteArrayLiteral("C.UTF-8"));
    qputenv("LANG", QByteArrayLiteral("C.UTF-8"));
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(SetTestEnvironment)

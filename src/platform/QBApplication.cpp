// Application object with the application-wide error handler.
#include "platform/QBApplication.h"

#include "platform/MessageBox.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace {

QString Demangle(const char* mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    const QString name = QString::fromLatin1(status == 0 && plain ? plain : mangled);
    std::free(plain);
    return name;
}

} // namespace

QString FatalErrorText(const QObject* sender, const QString& exceptionClass,
                       const QString& message) {
    QString name;
    if (sender)
        name = sender->objectName().isEmpty()
                   ? QString::fromLatin1(sender->metaObject()->className())
                   : sender->objectName();
    return name + " raised an exception of type " + exceptionClass + ":\r\r\r\n" + message;
}

TQBApplication::TQBApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQBApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportFatalError(receiver, Demangle(typeid(error).name()),
                         QString::fromLocal8Bit(error.what()));
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        ReportFatalError(receiver, type ? Demangle(type->name()) : QString("unknown"), QString());
    }
    return false;
}

void TQBApplication::ReportFatalError(const QObject* receiver, const QString& exceptionClass,
                                      const QString& message) {
    // The text is made now: the receiver may be gone when the box shows.
    const QString text = FatalErrorText(receiver, exceptionClass, message);
    std::fprintf(stderr, "Quillbar: %s\n", qPrintable(text));
    // A modal box inside notify would run events while the failed one is still being
    // delivered; it waits for the loop, and a run of failures gets one box, not one each.
    if (FBoxPending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            struct TReset {
                std::atomic<bool>& Flag;
                ~TReset() { Flag = false; }
            } reset{FBoxPending};
            ShowMessageBox(nullptr, text, "Fatal Application Error", QMessageBox::Critical);
        },
        Qt::QueuedConnection);
}

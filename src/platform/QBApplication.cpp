// Application object with the application-wide error handler.
#include "platform/QBApplication.h"

#include "platform/MessageBox.h"

#include <cxxabi.h>

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

void ShowFatalError(const QObject* sender, const QString& exceptionClass, const QString& message) {
    ShowMessageBox(nullptr, FatalErrorText(sender, exceptionClass, message),
                   "Fatal Application Error", QMessageBox::Critical);
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
        ShowFatalError(receiver, Demangle(typeid(error).name()),
                       QString::fromLocal8Bit(error.what()));
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        ShowFatalError(receiver, type ? Demangle(type->name()) : QString("unknown"), QString());
    }
    return false;
}

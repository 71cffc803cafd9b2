// The application object: catches every exception that reaches the event loop.
#pragma once

#include <QApplication>

class TQBApplication : public QApplication {
    Q_OBJECT
  public:
    TQBApplication(int& argc, char** argv);

    // Shows the "Fatal Application Error" box for an exception raised while
    // receiver handled an event; the program then continues.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The box's text: sender, exception class and message, in the fixed layout.
QString FatalErrorText(const QObject* sender, const QString& exceptionClass,
                       const QString& message);

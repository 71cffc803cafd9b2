// The application object: catches every exception that reaches the event loop.
#pragma once

#include <QApplication>

#include <atomic>

class TQBApplication : public QApplication {
    Q_OBJECT
  public:
    TQBApplication(int& argc, char** argv);

    // Catches an exception raised while receiver handled an event, so that the program
    // continues, and shows the "Fatal Application Error" box for it once notify has
    // returned. While a box is waiting or open, later exceptions only go to stderr.
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    void ReportFatalError(const QObject* receiver, const QString& exceptionClass,
                          const QString& message);

    std::atomic<bool> FBoxPending{false};
};

// The box's text: sender, exception class and message, in the fixed layout.
QString FatalErrorText(const QObject* sender, const QString& exceptionClass,
                       const QString& message);

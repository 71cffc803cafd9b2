// The application-wide error handler: box text layout, and the program carries on.
#include "platform/MessageBox.h"
#include "platform/QBApplication.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class EMailError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Throws on the first Throws custom events it receives and counts every later one.
class TThrowingWidget : public QWidget {
    Q_OBJECT
  public:
    int Handled = 0;
    int Throws = 1;

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QWidget::event(event);
        if (Throws > 0) {
            --Throws;
            throw EMailError("Connection lost");
        }
        ++Handled;
        return true;
    }
};

class ErrorHandlerTest : public ::testing::Test {
  protected:
    // Runs the loop until the boxes of failed events are shown: a posted event's failure
    // queues its box behind it, for the next pass.
    static void Settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    void SetUp() override {
        ClearRecordedMessageBoxes();
        SetNextMessageBoxAnswer(QMessageBox::Ok);
    }
    void TearDown() override { ClearRecordedMessageBoxes(); }
};

} // namespace

TEST_F(ErrorHandlerTest, NamedSenderShowsBoxAfterTheEventAndProgramContinues) {
    TThrowingWidget bar;
    bar.setObjectName("frmMain");
    bar.Throws = 3;
    // A run of failures: the box waits for the loop, and one box stands for the run.
    for (int i = 0; i < 3; ++i) {
        QEvent failing(QEvent::User);
        QCoreApplication::sendEvent(&bar, &failing);
    }
    EXPECT_TRUE(RecordedMessageBoxes().empty());
    Settle();

    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    const TMessageBoxRecord& box = RecordedMessageBoxes()[0];
    EXPECT_EQ(box.Caption, "Fatal Application Error");
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(box.Text, QString("frmMain raised an exception of type "
                                "(anonymous namespace)::EMailError:\r\r\r\nConnection lost"));

    // Events after the error are handled as before, posted ones included.
    QEvent second(QEvent::User);
    QCoreApplication::sendEvent(&bar, &second);
    QCoreApplication::postEvent(&bar, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.Handled, 2);
    EXPECT_EQ(RecordedMessageBoxes().size(), 1u);

    // Once that box is answered, the next failure has a box of its own.
    bar.Throws = 1;
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    QCoreApplication::postEvent(&bar, new QEvent(QEvent::User));
    Settle();
    EXPECT_EQ(RecordedMessageBoxes().size(), 2u);
}

TEST_F(ErrorHandlerTest, UnnamedSenderIsNamedByItsClass) {
    TThrowingWidget widget;
    QCoreApplication::postEvent(&widget, new QEvent(QEvent::User));
    Settle();
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Text,
              QString("TThrowingWidget raised an exception of type "
                      "(anonymous namespace)::EMailError:\r\r\r\nConnection lost"));
}

TEST_F(ErrorHandlerTest, ExceptionOutsideTheStandardHierarchyIsShownToo) {
    struct TIntThrower : QObject {
        bool event(QEvent*) override { throw 42; }
    } thrower;
    thrower.setObjectName("tmrScroll");
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    Settle();
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Text,
              QString("tmrScroll raised an exception of type int:\r\r\r\n"));
}

TEST(FatalErrorText, LayoutWithAndWithoutSender) {
    QObject named;
    named.setObjectName("tmrCheck");
    EXPECT_EQ(FatalErrorText(&named, "EConvertError", "bad"),
              QString("tmrCheck raised an exception of type EConvertError:\r\r\r\nbad"));
    QObject plain;
    EXPECT_EQ(FatalErrorText(&plain, "std::bad_alloc", "std::bad_alloc"),
              QString("QObject raised an exception of type std::bad_alloc:\r\r\r\nstd::bad_alloc"));
}

#include "ErrorHandlerTest.moc"

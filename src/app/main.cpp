// Entry point: the start-up sequence of the program.
#include "core/UGlobal.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    InitAppPath();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillbar");
    QWidget bar;
    bar.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    bar.resize(600, 24);
    bar.show();
    return QApplication::exec();
}

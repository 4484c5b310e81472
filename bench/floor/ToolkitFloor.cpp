// The floor of a start: the least a Qt Widgets program does to paint a small login window. It links the toolkit
// alone, opens no file and builds one label, one edit box and one button in the windows' CJK face; the
// benchmark starts it exactly as it starts the program. Enter in the edit box shows a second window, as a login
// would.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget login;
    login.setWindowTitle(u"Ovelta"_s);
    login.setFixedSize(306, 185);
    QFont font;
    font.setFamilies({u"WenQuanYi Micro Hei"_s, u"Noto Sans CJK SC"_s});
    font.setPixelSize(12);
    login.setFont(font);
    auto* label = new QLabel(u"用户名"_s, &login);
    label->setGeometry(20, 30, 60, 20);
    auto* edit = new QLineEdit(u"admin"_s, &login);
    edit->setGeometry(90, 30, 180, 22);
    auto* button = new QPushButton(u"登录"_s, &login);
    button->setGeometry(90, 120, 80, 26);

    QWidget next;
    next.setWindowTitle(u"Ovelta"_s);
    next.setFixedSize(400, 300);
    QObject::connect(edit, &QLineEdit::returnPressed, &login, [&] {
        login.hide();
        next.show();
    });
    login.show();
    edit->setFocus();
    return QApplication::exec();
}

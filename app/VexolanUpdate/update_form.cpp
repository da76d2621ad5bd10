#include "update_form.h"

#include "main/version.h"

#include <QFont>

TFormupdate::TFormupdate(Environment env) : program_version(::program_version), env_(std::move(env)) {
    setObjectName(QStringLiteral("Formupdate"));
    setWindowTitle(QStringLiteral("Downloading Update"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    move(190, 130);
    resize(213, 63);

    Label2 = new ui::Label(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(8, 8);
    Label2->set_caption(QStringLiteral("Download Progress of TAVMOR Update"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 32, 145, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    Label1 = new ui::Label(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(168, 32);
    Label1->set_caption(QStringLiteral("Label1"));
    Timer1 = new ui::Timer(31000, [this] { Timer1Timer(); }, this);
}

bool TFormupdate::Checkforupdates1Click() { return update_started; }

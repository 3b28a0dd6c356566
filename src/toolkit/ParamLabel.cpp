#include "toolkit/ParamLabel.h"

#include <QLabel>

#include "toolkit/Dialogs.h"

TParamLabel::TParamLabel(TComponent* AOwner) : TControl(AOwner, new QLabel) {
    auto* label = static_cast<QLabel*>(Widget());
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(label, &QLabel::linkActivated, label, [this](const QString& href) {
        if (OnParamClick) {
            const std::string target = href.toLocal8Bit().toStdString();
            DispatchEvent([&] { OnParamClick(this, target); });
        }
    });
}

void TParamLabel::SetCaption(const std::string& value) {
    FCaption = value;
    static_cast<QLabel*>(Widget())->setText(QString::fromLocal8Bit(value));
}

#include "Morvo/Shell/AboutView.h"

#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"

#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>

namespace morvo {

QString AboutView::versionText(const std::optional<std::string>& shortVersion) {
    return shortVersion ? QString::fromStdString(*shortVersion) : QStringLiteral("0.4.1");
}

QString AboutView::buildText(const std::optional<std::string>& build) {
    return build ? QString::fromStdString(*build) : QStringLiteral("9");
}

AboutView::AboutView(const AppLocation& location, std::function<void()> dismiss, QWidget* parent) : QWidget(parent) {
    setFixedWidth(430);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(42, 42, 42, 42);
    stack->setSpacing(20);
    stack->setAlignment(Qt::AlignHCenter);

    stack->addWidget(new MorvoMark(70, this), 0, Qt::AlignHCenter);
    auto centred = [&](TextLabel* label) {
        label->setAlignment(Qt::AlignHCenter);
        stack->addWidget(label, 0, Qt::AlignHCenter);
        return label;
    };
    centred(new TextLabel(QStringLiteral("Morvo"), systemFont(30, QFont::Medium, FontDesign::standard, -1), Theme::text, this));
    centred(new TextLabel(QStringLiteral("A little clarity. A lot of space."), systemFont(14), Theme::secondary, this));
    centred(new TextLabel(QStringLiteral("Version ") + versionText(location.shortVersion()) + QStringLiteral(" · Build ") +
                              buildText(location.buildVersion()),
                          systemFont(11), Theme::muted, this));
    auto* blurb = centred(new TextLabel(QStringLiteral("Explore your storage. Review what can go.\nBuilt natively for macOS. "
                                                       "Your files stay on your device."),
                                        systemFont(12), Theme::secondary, this));
    blurb->setWordWrap(true);
    blurb->setLineSpacing(5);
    blurb->setMinimumWidth(430 - 84);

    auto* keep = new KitButton(std::make_shared<AccentButtonStyle>(), this);
    keep->addText(QStringLiteral("Keep exploring"));
    connect(keep, &QAbstractButton::clicked, this, [dismiss] { dismiss(); });
    stack->addWidget(keep, 0, Qt::AlignHCenter);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [dismiss] { dismiss(); });
    }
}

void AboutView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::background());
}

} // namespace morvo

#include "Morvo/Cleanup/CacheEntryRow.h"

#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "MorvoCore/Platform/Text.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

namespace morvo {

CacheEntryRow::AreaLook CacheEntryRow::look(CleanupArea area) {
    const QString label = displayText(title(area));
    switch (area) {
    case CleanupArea::caches: return {QStringLiteral("square.stack.3d.up"), Theme::mint, label};
    case CleanupArea::logs: return {QStringLiteral("doc.text"), Theme::blue, label};
    case CleanupArea::developer: return {QStringLiteral("curlybraces"), Theme::accent, label};
    }
    return {QStringLiteral("square.stack.3d.up"), Theme::mint, label};
}

QString CacheEntryRow::countLine(const CleanupDiscoveryEntry& entry) {
    QString line = countText(entry.fileCount, QStringLiteral("file"), QStringLiteral("files"));
    if (entry.isPartial) line += QStringLiteral(" \u00B7 partial measurement");
    return line;
}

CacheEntryRow::CacheEntryRow(CleanupDiscoveryEntry entry, bool selected, std::optional<std::string> blockedReason,
                             bool disabled, bool queued, std::function<void()> toggle, std::function<void()> reveal,
                             OpenLink openLink, QWidget* parent)
    : CardFrame(11, parent), entry_(std::move(entry)), selected_(selected), blockedReason_(std::move(blockedReason)),
      disabled_(disabled), queued_(queued), revealAction_(std::move(reveal)), openLink_(std::move(openLink)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(13);
    row->setAlignment(Qt::AlignTop);

    check_ = new StateCheckBox(std::move(toggle));
    auto* checkColumn = new QVBoxLayout;
    checkColumn->setContentsMargins(0, 10, 0, 0);
    checkColumn->addWidget(check_);
    checkColumn->addStretch();
    row->addLayout(checkColumn);

    tile_ = new SymbolTile(QString(), Theme::mint, 0.075, QSize(37, 38));
    row->addWidget(tile_, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(7);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(10);
    title_ = new SelectableText(QString(), systemFont(12, QFont::Medium), Theme::text);
    area_ = new TextLabel(QString(), systemFont(9), Theme::mint);
    area_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    queuedMark_ = new SymbolLabel(QStringLiteral("checkmark"), QStringLiteral("Queued"), 9, Theme::mint);
    queuedMark_->label()->setWordWrap(false);
    queuedMark_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The title takes what it needs; the marks follow it and the spacer takes the rest.
    title_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    titleLine->addWidget(title_, 0, Qt::AlignTop);
    titleLine->addWidget(area_, 0, Qt::AlignVCenter);
    titleLine->addWidget(queuedMark_, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    column->addLayout(titleLine);

    path_ = new PathText(entry_.url);
    column->addWidget(path_);
    count_ = new TextLabel(QString(), systemFont(9), Theme::muted);
    column->addWidget(count_);
    note_ = new TextLabel(QString(), systemFont(10), Theme::secondary);
    note_->setWordWrap(true);
    note_->setLineSpacing(3);
    column->addWidget(note_);
    link_ = new KitButton(std::make_shared<PlainButtonStyle>());
    link_->addText(QStringLiteral("Tool documentation"), systemFont(9), Theme::accent)
        .addSymbol(QStringLiteral("arrow.up.right"), 9, Theme::accent);
    link_->setSpacing(4);
    link_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    link_->setCursor(Qt::PointingHandCursor);
    connect(link_, &QAbstractButton::clicked, this, [this] {
        if (entry_.documentationURL && openLink_) openLink_(*entry_.documentationURL);
    });
    column->addWidget(link_, 0, Qt::AlignLeft);
    blocked_ = new SymbolLabel(QStringLiteral("lock"), QString(), 10, Theme::warning);
    column->addWidget(blocked_);
    row->addLayout(column, 1);

    auto* trailing = new QVBoxLayout;
    trailing->setSpacing(12);
    size_ = new TextLabel(QString(), systemFont(13, QFont::Medium, FontDesign::rounded), Theme::text);
    size_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    trailing->addWidget(size_, 0, Qt::AlignRight);
    reveal_ = new ActionButton(QStringLiteral("Reveal in Finder"), QStringLiteral("arrow.up.forward.app"), [this] {
        if (revealAction_) revealAction_();
    });
    reveal_->setIconOnly(true);
    reveal_->setPartColor(0, Theme::secondary);
    reveal_->setFixedSize(24, 22);
    trailing->addWidget(reveal_, 0, Qt::AlignRight);
    trailing->addStretch();
    row->addLayout(trailing);

    applyEntry();
    applyState();
}

void CacheEntryRow::setEntry(const CleanupDiscoveryEntry& entry) {
    if (entry == entry_) return;
    entry_ = entry;
    applyEntry();
    applyState();
}

void CacheEntryRow::setState(bool selected, const std::optional<std::string>& blockedReason, bool disabled, bool queued) {
    if (selected == selected_ && blockedReason == blockedReason_ && disabled == disabled_ && queued == queued_) return;
    selected_ = selected;
    blockedReason_ = blockedReason;
    disabled_ = disabled;
    queued_ = queued;
    applyState();
}

void CacheEntryRow::applyEntry() {
    const QString path = displayText(entry_.url.path);
    const QString entryTitle = displayText(entry_.title);
    setObjectName(QStringLiteral("cache-entry-") + path);
    check_->setObjectName(QStringLiteral("cache-select-") + path);
    check_->setAccessibleName(QStringLiteral("Include ") + entryTitle + QStringLiteral(", ") + path);
    const AreaLook areaLook = look(entry_.area);
    tile_->set(areaLook.symbol, areaLook.tint);
    title_->setText(entryTitle);
    area_->setText(areaLook.label);
    area_->setForeground(areaLook.tint);
    path_->setUrl(entry_.url);
    count_->setText(countLine(entry_));
    note_->setText(displayText(entry_.note));
    note_->setVisible(!entry_.note.empty());
    link_->setVisible(entry_.documentationURL.has_value());
    link_->setToolTip(entry_.documentationURL ? displayText(entry_.documentationURL->absoluteString()) : QString());
    size_->setText(formatByteCount(entry_.logicalSize));
    reveal_->setAccessibleName(QStringLiteral("Reveal ") + entryTitle + QStringLiteral(" in Finder"));
}

void CacheEntryRow::applyState() {
    check_->setSelected(selected_);
    check_->setEnabled(!disabled_ && !blockedReason_);
    queuedMark_->setVisible(queued_);
    blocked_->setText(blockedReason_ ? displayText(*blockedReason_) : QString());
    blocked_->setVisible(blockedReason_.has_value());
    setHighlighted(selected_ && !blockedReason_);
}

QString CacheEntryRow::shownCountLine() const { return count_->text(); }
QString CacheEntryRow::shownSizeText() const { return size_->text(); }
QString CacheEntryRow::shownAreaLabel() const { return area_->text(); }
bool CacheEntryRow::showsQueuedMark() const { return !queuedMark_->isHidden(); }
TextLabel* CacheEntryRow::noteLine() const { return note_->isHidden() ? nullptr : note_; }
KitButton* CacheEntryRow::documentationLink() const { return link_->isHidden() ? nullptr : link_; }
SymbolLabel* CacheEntryRow::blockedLine() const { return blocked_->isHidden() ? nullptr : blocked_; }

QMenu* CacheEntryRow::makeContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* reveal = menu->addAction(symbolIcon("arrow.up.forward.app", Theme::text()), QStringLiteral("Reveal in Finder"));
    connect(reveal, &QAction::triggered, this, [this] {
        if (revealAction_) revealAction_();
    });
    return menu;
}

void CacheEntryRow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace morvo

#include "ui/setup/SetupRequirementRow.h"

#include "ui/rules/PlatformWording.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Theme::TextStyle;

QLabel *makeWrappingLabel(TextStyle style, QFont::Weight weight, bool secondary)
{
    QLabel *label = makeLabel({}, style, nullptr, weight, secondary);
    label->setWordWrap(true);
    return label;
}

SetupIntroCard::SetupIntroCard(QWidget *parent)
    : Card(parent)
    , m_icon(new SymbolView(u"wineglass"_s, 24, Theme::accent()))
    , m_title(makeWrappingLabel(TextStyle::headline))
    , m_text(makeWrappingLabel(TextStyle::subheadline, QFont::Normal, true))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(14);
    auto *tile = new Card(nullptr, 12, Card::Fill::quaternary);
    tile->setFixedSize(42, 42);
    auto *tileLayout = new QHBoxLayout(tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    tileLayout->addWidget(m_icon, 0, Qt::AlignCenter);
    row->addWidget(tile, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    m_title->setObjectName(u"introTitle"_s);
    texts->addWidget(m_title);
    texts->addWidget(m_text);
    row->addLayout(texts, 1);
}

void SetupIntroCard::setIntro(const SetupPresentation::IntroCard &intro)
{
    if (intro.isReady)
        m_icon->setSymbol(u"checkmark.circle.fill"_s, Theme::green());
    else
        m_icon->setSymbol(u"wineglass"_s, Theme::accent());
    m_title->setText(intro.title);
    m_text->setText(intro.text);
}

SetupRequirementRow::SetupRequirementRow(QWidget *parent)
    : QWidget(parent)
    , m_icon(new SymbolView(u"circle.dashed"_s, 18, Theme::secondaryText()))
    , m_title(makeLabel({}, Theme::TextStyle::subheadline, nullptr, QFont::Medium))
    , m_detail(makeLabel({}, Theme::TextStyle::caption, nullptr, QFont::Normal, true))
    , m_state(makeLabel({}, Theme::TextStyle::caption, nullptr, QFont::Medium, true))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 12, 0, 12);
    row->setSpacing(10);

    auto *iconFrame = new QWidget;
    iconFrame->setFixedWidth(24);
    auto *iconLayout = new QHBoxLayout(iconFrame);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconLayout->addWidget(m_icon, 0, Qt::AlignCenter);
    row->addWidget(iconFrame, 0, Qt::AlignVCenter);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_title);
    texts->addWidget(m_detail);
    m_detail->setWordWrap(true);
    row->addLayout(texts, 1);
    row->addWidget(m_state, 0, Qt::AlignVCenter);
}

void SetupRequirementRow::setRequirement(const SetupPresentation::RequirementRow &requirement)
{
    if (requirement.isReady)
        m_icon->setSymbol(u"checkmark.circle.fill"_s, Theme::green());
    else
        m_icon->setSymbol(u"circle.dashed"_s, Theme::secondaryText());
    m_title->setText(requirement.title);
    m_detail->setText(requirement.detail);
    m_state->setText(requirement.state);
    Theme::setTextColor(m_state, requirement.isReady ? Theme::green() : Theme::secondaryText());
    setAccessibleName(requirement.title + u", "_s + requirement.state);
    setAccessibleDescription(requirement.detail);
}

SetupActionButton::SetupActionButton(
    const QString &kind, const QString &objectName, QWidget *parent)
    : QPushButton(parent)
    , m_isFilled(kind == u"prominent"_s)
    , m_progress(new QProgressBar)
    , m_spinner(new Spinner(14, nullptr, m_isFilled ? QColor(Qt::white) : QColor()))
    , m_symbol(new SymbolView({}, 16, Qt::white))
    , m_title(new QLabel)
    , m_arrow(new SymbolView(u"arrow.right"_s, 15, Qt::white))
{
    setObjectName(objectName);
    setProperty("kind", kind);
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false); // Return belongs to the sheet's Done button

    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(54, 6);
    if (m_isFilled) {
        // The theme's bar is drawn in the accent colour, which would vanish on this fill.
        m_progress->setStyleSheet(
            u"QProgressBar { background: rgba(255,255,255,0.32); border-radius: 3px; }"
            "QProgressBar::chunk { background: white; border-radius: 3px; }"_s);
    }
    m_arrow->setObjectName(objectName + u"Arrow"_s);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(
        Theme::font(Theme::TextStyle::body, m_isFilled ? QFont::DemiBold : QFont::Medium));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(
        m_isFilled ? 14 : 12, m_isFilled ? 10 : 6, m_isFilled ? 14 : 12, m_isFilled ? 10 : 6);
    row->setSpacing(8);
    for (QWidget *part : {static_cast<QWidget *>(m_progress), static_cast<QWidget *>(m_spinner),
             static_cast<QWidget *>(m_symbol)}) {
        row->addWidget(part, 0, Qt::AlignVCenter);
        part->hide();
    }
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_arrow, 0, Qt::AlignVCenter);
    for (QWidget *child : findChildren<QWidget *>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    recolor();
}

void SetupActionButton::setLabel(const SetupPresentation::ActionLabel &label)
{
    using SetupPresentation::Indicator;
    m_progress->setVisible(label.indicator == Indicator::progress);
    m_progress->setValue(qRound(qBound(0.0, label.progress, 1.0) * 1000));
    m_spinner->setVisible(label.indicator == Indicator::spinner);
    m_symbol->setVisible(label.indicator == Indicator::symbol);
    m_symbol->setSymbol(label.symbol, m_foreground);
    m_title->setText(label.title);
    m_arrow->setVisible(label.showsArrow);
    setAccessibleName(label.title);
    updateGeometry();
}

QString SetupActionButton::title() const
{
    return m_title->text();
}

QSize SetupActionButton::sizeHint() const
{
    return layout()->sizeHint().expandedTo(QPushButton::sizeHint());
}

QSize SetupActionButton::minimumSizeHint() const
{
    return layout()->minimumSize();
}

void SetupActionButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        recolor();
}

void SetupActionButton::recolor()
{
    // Style sheets rather than palettes: the application's sheet re-polishes a button's
    // children and would put the default text colour back on the white-on-tint label.
    m_foreground
        = m_isFilled ? QColor(Qt::white) : QApplication::palette().color(QPalette::ButtonText);
    QColor faded = m_foreground;
    faded.setAlphaF(m_isFilled ? 0.85f : 0.45f);
    const QString labelSheet = u"QLabel { color: %1; } QLabel:disabled { color: %2; }"_s.arg(
        m_foreground.name(QColor::HexArgb), faded.name(QColor::HexArgb));
    if (m_title->styleSheet() != labelSheet)
        m_title->setStyleSheet(labelSheet);
    if (m_isFilled) {
        // Busy rather than unavailable: the running step's title must stay readable.
        QColor busy = Theme::accent();
        busy.setAlphaF(0.78f);
        const QString sheet
            = u"QPushButton:disabled { background: %1; }"_s.arg(busy.name(QColor::HexArgb));
        if (styleSheet() != sheet) // restyling sends another palette change
            setStyleSheet(sheet);
    }
    m_symbol->setSymbol(m_symbol->symbol(), m_foreground);
    m_arrow->setSymbol(m_arrow->symbol(), m_foreground);
}

SetupAdvancedOptions::SetupAdvancedOptions(bool expanded, QWidget *parent)
    : Card(parent, 12)
    , m_toggle(new QToolButton)
    , m_content(new QWidget)
    , m_noRuntimeNote(makeWrappingLabel(TextStyle::footnote, QFont::Normal, true))
    , m_runtimeChoice(new QWidget)
    , m_picker(new QComboBox)
    , m_path(new QLineEdit)
    , m_revealButton(makeButton(PlatformWording::text(u"Show Wine in Finder"_s), {}, u"bordered"_s,
          u"revealRuntimeButton"_s))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(0);
    m_toggle->setObjectName(u"advancedToggle"_s);
    m_toggle->setText(u"Advanced options"_s);
    m_toggle->setFont(Theme::font(TextStyle::subheadline, QFont::Medium));
    m_toggle->setProperty("kind", u"borderless"_s);
    m_toggle->setCheckable(true);
    m_toggle->setChecked(expanded);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setCursor(Qt::PointingHandCursor);
    connect(m_toggle, &QToolButton::toggled, this, &SetupAdvancedOptions::showExpansion);
    connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
        if (open)
            scrollIntoView();
    });
    column->addWidget(m_toggle, 0, Qt::AlignLeft);

    auto *content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 10, 0, 0);
    content->setSpacing(10);
    m_noRuntimeNote->setObjectName(u"noRuntimeNote"_s);
    content->addWidget(m_noRuntimeNote);

    auto *choice = new QVBoxLayout(m_runtimeChoice);
    choice->setContentsMargins(0, 0, 0, 0);
    choice->setSpacing(6);
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setSpacing(10);
    QLabel *pickerLabel = makeLabel(u"Wine runtime"_s, TextStyle::subheadline);
    pickerLabel->setBuddy(m_picker);
    m_picker->setObjectName(u"runtimePicker"_s);
    m_picker->setAccessibleName(u"Wine runtime"_s);
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Q_EMIT runtimeChosen(m_picker->itemData(index).toString());
    });
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(m_picker, 1);
    choice->addLayout(pickerRow);
    // Read-only but selectable: a long path scrolls instead of widening the sheet, and copies
    // whole.
    m_path->setObjectName(u"runtimePath"_s);
    m_path->setReadOnly(true);
    m_path->setFrame(false);
    m_path->setStyleSheet(u"QLineEdit { border: none; background: transparent; padding: 0; }"_s);
    m_path->setFont(Theme::monospaced(11));
    Theme::setTextColor(m_path, Theme::secondaryText());
    choice->addWidget(m_path);
    content->addWidget(m_runtimeChoice);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    m_revealButton->setAutoDefault(false);
    connect(m_revealButton, &QPushButton::clicked, this, &SetupAdvancedOptions::revealRequested);
    QPushButton *source = makeButton(u"View Wine source"_s, {}, u"link"_s, u"wineSourceButton"_s);
    source->setFont(Theme::font(TextStyle::footnote));
    source->setStyleSheet(u"QPushButton { padding-left: 0; }"_s); // lines up with the note
    source->setAutoDefault(false);
    connect(source, &QPushButton::clicked, this, &SetupAdvancedOptions::sourceRequested);
    actions->addWidget(m_revealButton);
    actions->addWidget(source);
    actions->addStretch(1);
    content->addLayout(actions);
    column->addWidget(m_content);
    showExpansion();
}

void SetupAdvancedOptions::setOptions(const SetupPresentation::AdvancedOptions &options)
{
    m_noRuntimeNote->setText(options.footnote);
    m_noRuntimeNote->setVisible(!options.footnote.isEmpty());
    m_runtimeChoice->setVisible(options.footnote.isEmpty());

    // Rebuilt only when the list changed, so an open popup isn't reset under the pointer.
    const QSignalBlocker blocker(m_picker);
    bool same = m_picker->count() == options.runtimes.size();
    for (int i = 0; same && i < m_picker->count(); ++i) {
        same = m_picker->itemText(i) == options.runtimes[i].name
            && m_picker->itemData(i).toString() == options.runtimes[i].winePath;
    }
    if (!same) {
        m_picker->clear();
        for (const auto &runtime : options.runtimes)
            m_picker->addItem(runtime.name, runtime.winePath);
    }
    m_picker->setCurrentIndex(m_picker->findData(options.selectedWinePath));
    m_path->setText(options.selectedWinePath);
    m_path->setVisible(!options.selectedWinePath.isEmpty());
    m_revealButton->setVisible(options.canRevealRuntime);
}

void SetupAdvancedOptions::showExpansion()
{
    m_toggle->setArrowType(m_toggle->isChecked() ? Qt::DownArrow : Qt::RightArrow);
    m_content->setVisible(m_toggle->isChecked());
}

void SetupAdvancedOptions::scrollIntoView()
{
    QWidget *ancestor = parentWidget();
    while (ancestor && !qobject_cast<QScrollArea *>(ancestor))
        ancestor = ancestor->parentWidget();
    auto *scroll = qobject_cast<QScrollArea *>(ancestor);
    if (!scroll)
        return;
    // The sheet grows on the next layout pass; lay it out now so the scroll can reach the end.
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    scroll->ensureWidgetVisible(this, 0, 0);
}

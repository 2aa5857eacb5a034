#include "platform/controls/SimpleControls.h"

#include "platform/controls/TextFormats.h"
#include "platform/controls/VirtualKeys.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"
#include "platform/services/Utilities.h"

#include <QApplication>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>

namespace zentaro {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

// Sends a key as the keyboard does: press and release, with the character it types.
void sendKey(QWidget *target, int keyCode, int shift)
{
    const int key = virtualkeys::toQt(keyCode);
    QString character;
    if (key == Qt::Key_Space)
        character = QStringLiteral(" ");
    QKeyEvent press(QEvent::KeyPress, key, virtualkeys::modifiers(shift), character);
    QKeyEvent release(QEvent::KeyRelease, key, virtualkeys::modifiers(shift), character);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

void refuseWhenDisabled(const QWidget &widget)
{
    if (!widget.isEnabled())
        throw ScriptRefusal(QStringLiteral("el control %1 está deshabilitado").arg(widget.objectName()));
}

} // namespace

// --- Frame ---------------------------------------------------------------------------------

Frame::Frame(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Plain);
}

// --- CheckBox ------------------------------------------------------------------------------

CheckBox::CheckBox(const QString &caption, QWidget *parent) : QCheckBox(caption, parent) {}

void CheckBox::scriptClick(const QString &)
{
    refuseWhenDisabled(*this);
    click();   // toggles and raises clicked(), as the mouse does
}

void CheckBox::scriptKey(int keyCode, int shift) { sendKey(this, keyCode, shift); }

QStringList CheckBox::scriptDefaultProperties() const
{
    return {QStringLiteral("Value"), QStringLiteral("Caption"), QStringLiteral("Enabled")};
}

void CheckBox::keyPressEvent(QKeyEvent *event)
{
    const int code = virtualkeys::fromQt(event->key(), event->modifiers());
    const int shift = virtualkeys::shiftState(event->modifiers());
    dispatchEvent(objectName(), [&] {
        if (code != 0)
            emit keyDown(code, shift);
        if (!event->text().isEmpty())
            emit keyPress(event->text().at(0).unicode());
    });
    QCheckBox::keyPressEvent(event);
}

// --- FlatButton ----------------------------------------------------------------------------

FlatButton::FlatButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{
    setFlat(true);
    setAutoDefault(false);
    // Flat, but still recognisable as a button among the labels of a form.
    setStyleSheet(QStringLiteral("QPushButton { border: 1px solid palette(mid); border-radius: 3px; padding: 1px 8px; }"
                                 "QPushButton:hover { background: palette(midlight); }"
                                 "QPushButton:pressed { background: palette(mid); }"));
}

void FlatButton::scriptClick(const QString &)
{
    refuseWhenDisabled(*this);
    click();
}

QStringList FlatButton::scriptDefaultProperties() const
{
    return {QStringLiteral("Caption"), QStringLiteral("Enabled")};
}

// --- DatePicker ----------------------------------------------------------------------------

DatePicker::DatePicker(QWidget *parent) : QWidget(parent), m_edit(new QDateEdit(this))
{
    m_edit->setCalendarPopup(true);
    m_edit->setDisplayFormat(kDateFormat);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_edit);
    // A new picker shows today rather than the widget's own 01/01/2000.
    m_edit->setDate(Platform::isInstalled() ? Utilities().ServerNow().date() : QDate::currentDate());
    connect(m_edit, &QDateEdit::dateChanged, this, [this] { dispatchEvent(objectName(), [this] { emit changed(); }); });
}

QDate DatePicker::value() const { return m_edit->date(); }

void DatePicker::setValue(const QDate &date)
{
    if (date.isValid())
        m_edit->setDate(date);
}

QString DatePicker::text() const { return m_edit->date().toString(kDateFormat); }

void DatePicker::clearContent()
{
    // The server's day, not the workstation's: a clerk's clock may be wrong.
    setValue(Platform::isInstalled() ? Utilities().ServerNow().date() : QDate::currentDate());
}

void DatePicker::scriptType(const QString &text)
{
    QDateTime when;
    try {
        when = textformat::readDateTime(text);
    } catch (const Error &error) {
        throw ScriptRefusal(error.description());
    }
    if (when.time() != QTime(0, 0))
        throw ScriptRefusal(QStringLiteral("%1 es una fecha sin hora: %2").arg(objectName(), text.trimmed()));
    setValue(when.date());
}

QStringList DatePicker::scriptDefaultProperties() const
{
    return {QStringLiteral("Value"), QStringLiteral("Text"), QStringLiteral("Enabled")};
}

// --- TabStrip ------------------------------------------------------------------------------

TabStrip::TabStrip(QWidget *parent) : QWidget(parent), m_bar(new QTabBar(this)), m_pages(new QStackedWidget(this))
{
    // The script runner's `tab N` looks for the strip by this mark.
    setProperty("zentaroTabStrip", true);
    // The strip takes the focus itself, so that its key events are the screen's to see.
    m_bar->setFocusPolicy(Qt::NoFocus);
    m_bar->setDrawBase(true);
    m_bar->setExpanding(false);
    setFocusPolicy(Qt::StrongFocus);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bar);
    layout->addWidget(m_pages, 1);

    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown and Ctrl+PgUp turn the pages wherever the focus is
    // on the strip's screen. As shortcuts they come before the key handling of the focused
    // box (a date box would take Ctrl+PgUp as a step, the shell's window area Ctrl+Tab as
    // its own) and they never reach the screen's key events.
    QWidget *scope = parent ? parent : this;
    const struct
    {
        QKeyCombination keys;
        int step;
    } turns[] = {{Qt::CTRL | Qt::Key_Tab, 1},
                 {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1},   // Shift+Tab arrives as Backtab
                 {Qt::CTRL | Qt::Key_PageDown, 1},
                 {Qt::CTRL | Qt::Key_PageUp, -1}};
    for (const auto &turn : turns) {
        auto *shortcut = new QShortcut(QKeySequence(turn.keys), scope);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        const int step = turn.step;
        connect(shortcut, &QShortcut::activated, this, [this, step] {
            if (isEnabled() && isVisible())
                turnPage(step);
        });
    }

    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        const int previous = m_current;
        m_current = index;
        m_pages->setCurrentIndex(index);
        // Adding the first page selects it; that is no click.
        if (previous >= 0 && index >= 0 && previous != index)
            dispatchEvent(objectName(), [this, previous] { emit click(previous); });
    });
}

int TabStrip::addPage(const QString &caption, QWidget *page)
{
    m_pages->addWidget(page);
    return m_bar->addTab(caption);
}

int TabStrip::tab() const { return m_current; }

void TabStrip::setTab(int page)
{
    if (page < 0 || page >= m_bar->count())
        throw Error(QStringLiteral("La página %1 no existe; hay %2").arg(page).arg(m_bar->count()));
    m_bar->setCurrentIndex(page);
}

int TabStrip::pageCount() const { return m_bar->count(); }

QWidget *TabStrip::page(int index) const { return m_pages->widget(index); }

void TabStrip::scriptClick(const QString &button)
{
    bool ok = false;
    const int page = button.trimmed().toInt(&ok);
    if (!ok || page < 0 || page >= m_bar->count())
        throw ScriptRefusal(QStringLiteral("la página \"%1\" no existe").arg(button));
    refuseWhenDisabled(*this);
    setTab(page);
}

void TabStrip::scriptKey(int keyCode, int shift)
{
    const int key = virtualkeys::toQt(keyCode);
    const Qt::KeyboardModifiers modifiers = virtualkeys::modifiers(shift);
    emit keyDown(keyCode, shift);
    moveByKey(key, modifiers);
}

QStringList TabStrip::scriptDefaultProperties() const
{
    return {QStringLiteral("Tab"), QStringLiteral("Enabled")};
}

bool TabStrip::moveByKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    int step = 0;
    if (modifiers & Qt::ControlModifier) {
        if (qtKey == Qt::Key_Backtab || (qtKey == Qt::Key_Tab && (modifiers & Qt::ShiftModifier))
            || qtKey == Qt::Key_PageUp)
            step = -1;
        else if (qtKey == Qt::Key_Tab || qtKey == Qt::Key_PageDown)
            step = 1;
    } else if (hasFocus()) {
        if (qtKey == Qt::Key_Left)
            step = -1;
        else if (qtKey == Qt::Key_Right)
            step = 1;
    }
    if (step == 0 || m_bar->count() == 0)
        return false;
    turnPage(step);
    return true;
}

void TabStrip::turnPage(int step)
{
    const int count = m_bar->count();
    if (count == 0)
        return;
    // Skips disabled pages; goes round from the last page to the first.
    int page = m_current;
    for (int tries = 0; tries < count; ++tries) {
        page = (page + step + count) % count;
        if (m_bar->isTabEnabled(page))
            break;
    }
    if (page != m_current)
        m_bar->setCurrentIndex(page);
}

void TabStrip::keyPressEvent(QKeyEvent *event)
{
    // Keys that a control on a page left unhandled also pass by here; only the strip's own
    // keys are its key events, but Ctrl+Tab moves on from anywhere inside it.
    if (hasFocus()) {
        const int code = virtualkeys::fromQt(event->key(), event->modifiers());
        const int shift = virtualkeys::shiftState(event->modifiers());
        if (code != 0)
            dispatchEvent(objectName(), [&] { emit keyDown(code, shift); });
    }
    if (moveByKey(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- ColorScheme ---------------------------------------------------------------------------

ColorScheme::ColorScheme(QWidget *parent) : QWidget(parent)
{
    hide();
}

void ColorScheme::Apply()
{
    QWidget *target = window();
    if (!target)
        return;
    // A calm office palette: light grey surfaces, white input fields, dark slate text and a
    // muted blue for selection, with disabled text dimmed but still readable.
    const QColor surface(0xF3, 0xF4, 0xF6);
    const QColor field(0xFF, 0xFF, 0xFF);
    const QColor alternate(0xEC, 0xEF, 0xF3);
    const QColor text(0x1F, 0x29, 0x37);
    const QColor button(0xE5, 0xE8, 0xEC);
    const QColor highlight(0x2F, 0x6F, 0xB0);
    const QColor dimmed(0x8A, 0x93, 0xA0);

    QPalette palette = target->palette();
    palette.setColor(QPalette::Window, surface);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, field);
    palette.setColor(QPalette::AlternateBase, alternate);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, field);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, dimmed);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, highlight);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Base, surface);
    target->setPalette(palette);
    target->setAutoFillBackground(true);
    // Read-only boxes (locked keys, the invoice number) look like what they are: shown, not typed.
    target->setStyleSheet(QStringLiteral("QLineEdit[readOnly=\"true\"] { background-color: %1; }")
                              .arg(alternate.name()));
}

} // namespace zentaro

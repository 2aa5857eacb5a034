#include "platform/controls/KeyBox.h"

#include "platform/controls/CatalogBrowser.h"
#include "platform/controls/TextFormats.h"
#include "platform/controls/VirtualKeys.h"
#include "platform/core/Error.h"
#include "platform/services/CatalogLookup.h"
#include "platform/services/Platform.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace zentaro {

namespace {

QChar convertCase(QChar c, QChar mode)
{
    if (mode == u'U')
        return c.toUpper();
    if (mode == u'L')
        return c.toLower();
    return c;
}

// The allowed characters of a key: the format's class, never a quote, because keys end up
// inside the quotes of the screens' statements. Free text takes the class as it stands.
QString allowedPattern(const QString &classBody, bool quotes)
{
    if (classBody.isEmpty())
        return quotes ? QStringLiteral(".*") : QStringLiteral("[^']*");
    return quotes ? QStringLiteral("[%1]*").arg(classBody) : QStringLiteral("(?:(?!')[%1])*").arg(classBody);
}

// Converts the case as the user types, so that a lower-case letter of an upper-case key is
// taken (and shown) as its capital instead of being refused.
// A text longer than the box takes is refused whole, so that the line edit keeps what it
// had instead of cutting a pasted text without a word; `tooLong` hears of it.
class KeyFormatValidator : public QRegularExpressionValidator
{
public:
    KeyFormatValidator(const QRegularExpression &expression, QChar mode, int maxLength,
                       std::function<void()> tooLong, QObject *parent)
        : QRegularExpressionValidator(expression, parent), m_mode(mode), m_maxLength(maxLength),
          m_tooLong(std::move(tooLong))
    {
    }

    State validate(QString &input, int &pos) const override
    {
        if (input.size() > m_maxLength) {
            m_tooLong();
            return Invalid;
        }
        // Character by character, so that the length and the cursor position stay put.
        for (QChar &c : input)
            c = convertCase(c, m_mode);
        return QRegularExpressionValidator::validate(input, pos);
    }

private:
    QChar m_mode;
    int m_maxLength;
    std::function<void()> m_tooLong;
};

} // namespace

KeyBox::KeyBox(QWidget *parent) : QWidget(parent)
{
    m_edit = new QLineEdit(this);
    m_button = new QToolButton(this);
    m_button->setText(QStringLiteral("..."));
    m_button->setToolTip(QStringLiteral("Buscar en el catálogo (F2)"));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setAutoRaise(false);
    m_button->hide();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);

    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_edit);
    m_edit->installEventFilter(this);

    // User typing arrives from the event loop: nothing a handler throws may cross it.
    connect(m_edit, &QLineEdit::textEdited, this,
            [this] { dispatchEvent(objectName(), [this] { textWasChanged(true); }); });
    connect(m_button, &QToolButton::clicked, this, [this] { dispatchEvent(objectName(), [this] { browse(); }); });

    setFormat({});
    m_value = QString();
}

QString KeyBox::text() const { return m_edit->text(); }

void KeyBox::setText(const QString &text) { applyText(text, false); }

void KeyBox::applyText(const QString &text, bool typed)
{
    if (isNumeric()) {
        const QString shown = m_edit->text();
        if (text.trimmed().isEmpty()) {
            m_value = 0.0;
            m_edit->setText(QString());
        } else {
            m_value = textformat::readNumber(filtered(text));
            showNumber();
        }
        if (m_edit->text() == shown)
            return;
        if (typed)
            m_dirty = true;
        emit changed();
        return;
    }
    if (typed && filtered(text, false).size() > maxLength()) {
        reportTooLong();
        return;
    }
    const QString accepted = filtered(text);
    if (accepted == m_edit->text()) {
        // Nothing changed, so no change event; but the screen may have changed the lookup
        // statement since, and Value must answer to the current one.
        validate();
        return;
    }
    m_edit->setText(accepted);
    textWasChanged(typed);
}

void KeyBox::textWasChanged(bool typed)
{
    if (typed)
        m_dirty = true;
    if (isNumeric()) {
        // While the user types, the number is whatever the text reads so far.
        try {
            m_value = m_edit->text().trimmed().isEmpty() ? 0.0 : textformat::readNumber(m_edit->text());
        } catch (const Error &) {
            m_value = 0.0;
        }
    }
    emit changed();
    validate();
}

QVariant KeyBox::value() const
{
    if (isNumeric())
        return m_value.toDouble();
    if (m_sql.isEmpty())
        return text();   // a plain box holds what it shows
    return m_value.toString();
}

void KeyBox::setValue(const QVariant &value)
{
    if (!isNumeric()) {
        setText(value.toString());
        return;
    }
    double number = 0.0;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        number = text.trimmed().isEmpty() ? 0.0 : textformat::readNumber(text);
    } else {
        number = value.toDouble();
    }
    m_value = number;
    showNumber();
    emit changed();
}

void KeyBox::setLocked(bool locked)
{
    m_locked = locked;
    m_edit->setReadOnly(locked);
    updateButton();
}

void KeyBox::clearContent()
{
    // Clearing a group is a reset, not an edit: no change event and no lookup. The
    // description the box wrote goes with its key, or an emptied screen would still name
    // the branch or the customer of the last document.
    m_edit->setText(QString());
    m_value = isNumeric() ? QVariant(0.0) : QVariant(QString());
    m_dirty = false;
    writeResult(QString());
}

void KeyBox::unlock()
{
    // Only the enabled state: boxes designed read-only (descriptions, totals) stay so when
    // their group is opened for a new document.
    setEnabled(true);
}

void KeyBox::setFormat(const QString &format)
{
    m_format = format;
    const QStringList parts = format.split(u'|');
    m_maxLength = format.isEmpty() ? 0 : qMax(0, parts.value(0).trimmed().toInt());
    const QString mode = parts.value(1).trimmed().toUpper();
    m_case = mode == QLatin1String("U") || mode == QLatin1String("L") ? mode.at(0) : QChar(u'M');
    // The class body may itself hold a "|".
    m_allowedClass = parts.size() > 2 ? parts.mid(2).join(u'|') : QString();
    if (!QRegularExpression(allowedPattern(m_allowedClass, false)).isValid()) {
        qWarning("KeyBox %s: formato de clave no válido \"%s\"; se admite cualquier texto sin comillas",
                 qPrintable(objectName()), qPrintable(format));
        m_allowedClass.clear();
    }
    applyFormat();
    const QString current = m_edit->text();
    if (filtered(current) != current)
        m_edit->setText(filtered(current));
}

// Neither of these two takes a character out of the text already there: a quote that stays
// in a box that became a key box is kept from its lookup by validate().
void KeyBox::setFreeText(bool on)
{
    m_freeText = on;
    applyFormat();
}

void KeyBox::setSql(const QString &sql)
{
    const bool quotesBefore = takesQuotes();
    const bool changed = sql != m_sql;
    m_sql = sql;
    if (takesQuotes() != quotesBefore)
        applyFormat();
    // The key already in the box answers to the new statement at once: a warehouse of the
    // branch chosen before loses its Value and its description when the branch changes.
    if (changed && !text().isEmpty())
        validate();
}

int KeyBox::maxLength() const
{
    int limit = kLongestText;
    for (const int length : {m_maxLength, m_columnLength})
        if (length > 0)
            limit = qMin(limit, length);
    return limit;
}

void KeyBox::setMaxLength(int length)
{
    m_columnLength = qMax(0, length);
    applyFormat();
}

void KeyBox::reportTooLong()
{
    // One message at a time: a key held down past the limit does not pile them up.
    if (m_lengthReported)
        return;
    m_lengthReported = true;
    const QString text = QStringLiteral("El texto no cabe: este campo admite hasta %1 caracteres. Se dejó como estaba; "
                                        "acorte el texto y vuelva a escribirlo o pegarlo.")
                             .arg(QLocale(QLocale::Spanish, QLocale::Mexico).toString(maxLength()));
    // Not from inside the line edit's own edit, which is still running.
    QTimer::singleShot(0, this, [this, text] {
        if (Platform::isInstalled())
            Platform::instance().presenter().present({text, 48, QStringLiteral("Texto demasiado largo"), {}, {}},
                                                     window());
        m_lengthReported = false;
    });
}

void KeyBox::applyFormat()
{
    const QRegularExpression expression(allowedPattern(m_allowedClass, takesQuotes()));
    delete m_edit->validator();
    m_edit->setValidator(new KeyFormatValidator(expression, m_case, isNumeric() ? 32767 : maxLength(),
                                                [this] { reportTooLong(); }, m_edit));
    // The line edit's own limit stays above the box's, or it would cut a pasted text before
    // the validator could refuse it.
    m_edit->setMaxLength(32767);
}

QString KeyBox::filtered(const QString &text, bool cut) const
{
    const QRegularExpression single(QRegularExpression::anchoredPattern(
        m_allowedClass.isEmpty() ? QStringLiteral("[^']") : QStringLiteral("[%1]").arg(m_allowedClass)));
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        // Nothing the clerk can type into a key carries a quote into a statement; free text
        // and a box that only shows (locked, without lookup) keep "O'Brien" whole.
        if (c == u'\'' && !takesQuotes() && (!m_locked || !m_sql.isEmpty()))
            continue;
        c = convertCase(c, m_case);
        if (!m_allowedClass.isEmpty() && !single.match(QString(c)).hasMatch())
            continue;
        result.append(c);
    }
    if (cut && !isNumeric())
        result.truncate(maxLength());
    return result;
}

void KeyBox::setLookupId(const QString &id)
{
    m_lookupId = id;
    // A box with a catalogue offers its button unless the screen hides it afterwards.
    m_showButton = !id.isEmpty();
    updateButton();
}

void KeyBox::setNumberFormat(const QString &mask)
{
    const bool wasNumeric = isNumeric();
    m_numberFormat = mask;
    m_edit->setAlignment(isNumeric() ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    applyFormat();
    if (isNumeric() && !wasNumeric) {
        try {
            m_value = text().trimmed().isEmpty() ? 0.0 : textformat::readNumber(text());
        } catch (const Error &) {
            m_value = 0.0;
        }
    } else if (!isNumeric() && wasNumeric) {
        m_value = QString();
    }
    if (isNumeric() && !text().isEmpty())
        showNumber();
}

void KeyBox::setShowLookupButton(bool show)
{
    m_showButton = show;
    updateButton();
}

void KeyBox::updateButton()
{
    m_button->setVisible(m_showButton);
    m_button->setEnabled(!m_locked);
}

void KeyBox::showNumber()
{
    m_edit->setText(textformat::formatNumber(m_value.toDouble(), m_numberFormat));
}

void KeyBox::validate()
{
    if (isNumeric() || m_sql.isEmpty())
        return;
    const QString key = text();
    bool found = false;
    QString result;
    // A quote left in the text from before the box had its statement never reaches it.
    if (!key.isEmpty() && !key.contains(u'\'')) {
        // A failing lookup statement is the screen's fault, not the clerk's: it is reported
        // and the key simply stays unvalidated.
        dispatchEvent(objectName(), [&] {
            if (const std::optional<QString> description = CatalogLookup().describe(m_sql, key)) {
                found = true;
                result = *description;
            }
        });
    }
    m_value = found ? key : QString();
    writeResult(result);
}

void KeyBox::writeResult(const QString &text)
{
    if (m_resultBox.isEmpty())
        return;
    // The nearest match, searching outwards up to the window: when two screens share one
    // main window, each box writes into its own screen's result box.
    QWidget *target = nullptr;
    for (QWidget *scope = parentWidget(); scope && !target; scope = scope->parentWidget()) {
        target = scope->findChild<QWidget *>(m_resultBox);
        if (scope->isWindow())
            break;
    }
    if (!target || target == this)
        return;
    if (auto *box = qobject_cast<KeyBox *>(target))
        box->setText(text);
    else if (auto *edit = qobject_cast<QLineEdit *>(target))
        edit->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(target))
        label->setText(text);
    else if (target->metaObject()->indexOfProperty("Text") >= 0)
        target->setProperty("Text", text);
    else if (target->metaObject()->indexOfProperty("Caption") >= 0)
        target->setProperty("Caption", text);
}

void KeyBox::browse()
{
    if (m_locked || !isEnabled() || m_lookupId.isEmpty())
        return;
    const QString picked = CatalogBrowser::pick(m_lookupId, m_lookupFilter, this);
    if (picked.isEmpty())
        return;
    applyText(picked, true);
    m_edit->setFocus(Qt::OtherFocusReason);
}

bool KeyBox::refusesUnknownKey()
{
    if (isNumeric() || m_sql.isEmpty() || text().isEmpty() || !m_value.toString().isEmpty())
        return false;
    const auto catalog = CatalogLookup::catalogFor(m_lookupId);
    const QString where = catalog ? QStringLiteral(" en %1").arg(catalog->title.toLower()) : QString();
    const QString message =
        QStringLiteral("La clave %1 no existe%2, está dada de baja o no corresponde a este documento. "
                       "Escriba una clave válida%3.")
            .arg(text(), where, m_lookupId.isEmpty() ? QString() : QStringLiteral(" o elíjala con F2"));
    Platform::instance().presenter().present({message, 48, QStringLiteral("Clave no encontrada"), {}, {}}, window());
    return true;
}

void KeyBox::confirm()
{
    m_dirty = false;
    if (isNumeric() && !text().isEmpty())
        showNumber();
    bool refused = false;
    dispatchEvent(objectName(), [this, &refused] { refused = refusesUnknownKey(); });
    if (refused) {
        // The clerk stays on the key to correct it.
        m_edit->setFocus(Qt::OtherFocusReason);
        m_edit->selectAll();
        return;
    }
    dispatchEvent(objectName(), [this] { emit entered(); });
}

void KeyBox::scriptType(const QString &text) { applyText(text, true); }

void KeyBox::scriptEnter()
{
    m_dirty = false;
    if (isNumeric() && !text().isEmpty())
        showNumber();
    if (refusesUnknownKey())
        return;
    emit entered();
}

void KeyBox::scriptKey(int keyCode, int shift)
{
    const int key = virtualkeys::toQt(keyCode);
    const Qt::KeyboardModifiers modifiers = virtualkeys::modifiers(shift);
    // Letters, digits and the space bar type their character, as on a keyboard.
    QString character;
    if (!(shift & 6)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            character = QChar(u'a' + (key - Qt::Key_A));
        else if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space)
            character = QChar(char16_t(key));
        if (shift & 1)
            character = character.toUpper();
    }
    QKeyEvent press(QEvent::KeyPress, key, modifiers, character);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, character);
    QApplication::sendEvent(m_edit, &press);
    QApplication::sendEvent(m_edit, &release);
}

bool KeyBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit)
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        int code = virtualkeys::fromQt(key->key(), key->modifiers());
        const int shift = virtualkeys::shiftState(key->modifiers());
        if (code != 0) {
            dispatchEvent(objectName(), [&] { emit keyDown(code, shift); });
            if (code == 0)   // the screen swallowed the key
                return true;
        }
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (shift & 2)
                dispatchEvent(objectName(), [this] { emit event1(); });
            else
                confirm();
            return true;
        case Qt::Key_F2:
            dispatchEvent(objectName(), [this] { browse(); });
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // A dialog or popup taking the focus for a moment (the catalogue) is not leaving
        // the box.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (m_dirty && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            confirm();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zentaro

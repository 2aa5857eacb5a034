#pragma once

#include "platform/controls/ScriptableControl.h"
#include "platform/core/GroupedControl.h"

#include <QVariant>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace zentaro {

// The suite's text box. As a key box it validates the typed key with its lookup
// statement (`sql`, "?" standing for the key) on every change of its text, holds the
// validated key in `Value` ("" when the key is unknown) and writes the lookup's first
// column into its result box (another control of the screen, named by `ResultBox`).
// F2 or its small button (shown once a `LookupId` is set, unless ShowLookupButton is
// turned off afterwards) opens the catalogue browser of `LookupId`.
// As a plain box it holds a text; with a `NumberFormat` it holds a number in `Value`
// and shows it formatted.
class KeyBox : public QWidget, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QVariant Value READ value WRITE setValue)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Locked READ isLocked WRITE setLocked)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)
    Q_PROPERTY(QString Format READ format WRITE setFormat)
    Q_PROPERTY(QString sql READ sql WRITE setSql)
    Q_PROPERTY(QString LookupId READ lookupId WRITE setLookupId)
    Q_PROPERTY(QString ResultBox READ resultBox WRITE setResultBox)
    Q_PROPERTY(QString LookupFilter READ lookupFilter WRITE setLookupFilter)
    Q_PROPERTY(QString CatalogScreen READ catalogScreen WRITE setCatalogScreen)
    Q_PROPERTY(QString NumberFormat READ numberFormat WRITE setNumberFormat)
    Q_PROPERTY(bool ShowLookupButton READ showsLookupButton WRITE setShowLookupButton)
    Q_PROPERTY(bool SuggestOnly READ suggestOnly WRITE setSuggestOnly)
    Q_PROPERTY(bool FreeText READ isFreeText WRITE setFreeText)
    Q_PROPERTY(int MaxLength READ maxLength WRITE setMaxLength)

public:
    explicit KeyBox(QWidget *parent = nullptr);

    QString text() const;
    // Programmatic text changes behave as typing: change is raised and the key validated.
    void setText(const QString &text);
    QVariant value() const;
    void setValue(const QVariant &value);
    bool isLocked() const { return m_locked; }
    void setLocked(bool locked);

    QString tag() const override { return m_tag; }
    void setTag(const QString &tag) override { m_tag = tag; }
    void clearContent() override;
    // Enables the box; a box locked by design stays locked.
    void unlock() override;

    // Key format "<max length>|<case U, L or M>|<allowed characters as a regex class body>",
    // as the configuration variables give it; "" allows any text but a quote.
    QString format() const { return m_format; }
    void setFormat(const QString &format);
    QString sql() const { return m_sql; }
    void setSql(const QString &sql);
    QString lookupId() const { return m_lookupId; }
    void setLookupId(const QString &id);
    QString resultBox() const { return m_resultBox; }
    void setResultBox(const QString &name) { m_resultBox = name; }
    QString lookupFilter() const { return m_lookupFilter; }
    void setLookupFilter(const QString &filter) { m_lookupFilter = filter; }
    QString catalogScreen() const { return m_catalogScreen; }
    void setCatalogScreen(const QString &code) { m_catalogScreen = code; }
    // "" for text; a mask such as "$#,##0.00#######" or "#,##0.0000" makes the box numeric.
    QString numberFormat() const { return m_numberFormat; }
    void setNumberFormat(const QString &mask);
    bool showsLookupButton() const { return m_showButton; }
    void setShowLookupButton(bool show);
    // Two settings the sales screens make on the salesperson box; kept for them.
    bool suggestOnly() const { return m_suggestOnly; }
    void setSuggestOnly(bool on) { m_suggestOnly = on; }
    // A free-text box (a comment, a reference) keeps what the clerk typed, apostrophes
    // included ("Entrega a O'Brien"): its text reaches the database as a bound value only.
    // Boxes are key boxes unless a screen says otherwise, and a box with a lookup statement
    // never takes a quote.
    bool isFreeText() const { return m_freeText; }
    void setFreeText(bool on);
    // The most characters the box takes: the column's size, which the screen knows, and the
    // length of the key format when it has one, whichever is smaller (0: no limit of its
    // own; the box never takes more than kLongestText). A text that would not fit is not
    // taken, cut or not: the box keeps what it had and says why.
    int maxLength() const;
    void setMaxLength(int length);
    static constexpr int kLongestText = 32000;

    // Runs the lookup now (the box does so on every change of its text).
    void validate();
    // Opens the catalogue browser; the picked key becomes the text.
    void browse();

    // ScriptableControl
    void scriptType(const QString &text) override;
    void scriptEnter() override;
    void scriptKey(int keyCode, int shift) override;

signals:
    void changed();
    void entered();
    // The box's event 1 (raised on Ctrl+Enter); screens treat it like enter.
    void event1();
    // Key events with the suite's key codes; `keyCode` may be set to 0 to swallow the key.
    void keyDown(int &keyCode, int shift);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isNumeric() const { return !m_numberFormat.isEmpty(); }
    // Whether a quote may stand in the text: in a free-text box without lookup statement.
    bool takesQuotes() const { return m_freeText && m_sql.isEmpty(); }
    // The text as the format lets it in: case converted, no character outside the allowed
    // class, no quote unless the box takes them, cut at the maximum length unless `cut` is
    // false.
    QString filtered(const QString &text, bool cut = true) const;
    // Builds the typing validator from the format and whether the box takes quotes.
    void applyFormat();
    // Puts a text in as typing does (`typed`: by the user or a script, so that leaving the
    // box confirms it) or as a screen sets it.
    void applyText(const QString &text, bool typed);
    // A change of the text: raises change, then validates the key.
    void textWasChanged(bool typed);
    void confirm();
    // Whether a confirmed key may stand: a key box refuses a key its lookup does not find,
    // with a message, so that no handler of the screen goes on with it.
    bool refusesUnknownKey();
    // Tells the clerk that a text was too long for the box.
    void reportTooLong();
    void updateButton();
    void writeResult(const QString &text);
    void showNumber();

    QLineEdit *m_edit = nullptr;
    QToolButton *m_button = nullptr;
    QString m_tag, m_format, m_sql, m_lookupId, m_resultBox, m_lookupFilter, m_catalogScreen, m_numberFormat;
    QVariant m_value;
    bool m_locked = false;
    bool m_showButton = false;
    bool m_suggestOnly = false;
    bool m_freeText = false;
    // The text changed since the key was last confirmed (focus-out then raises entered).
    bool m_dirty = false;
    // A message about a too-long text is on its way.
    bool m_lengthReported = false;
    int m_columnLength = 0;
    // Case, allowed characters and maximum length of the current Format.
    int m_maxLength = 0;
    QChar m_case = u'M';
    QString m_allowedClass;
};

} // namespace zentaro

#pragma once

#include "platform/controls/ScriptableControl.h"
#include "platform/core/GroupedControl.h"

#include <QCheckBox>
#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

class QDateEdit;
class QTabBar;
class QStackedWidget;

namespace zentaro {

// A label with the suite's Caption.
class Label : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)

public:
    explicit Label(const QString &caption = {}, QWidget *parent = nullptr) : QLabel(caption, parent) {}
};

// A frame that holds a group of controls, with an optional caption.
class Frame : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)

public:
    explicit Frame(QWidget *parent = nullptr);
};

// Check box with Value 0/1 and Caption. Click (user or script) toggles and raises
// clicked(); key events reach keyDown / keyPress with the suite's codes.
class CheckBox : public QCheckBox, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(int Value READ value WRITE setValue)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    explicit CheckBox(const QString &caption = {}, QWidget *parent = nullptr);
    int value() const { return isChecked() ? 1 : 0; }
    void setValue(int value) { setChecked(value != 0); }   // no click event
    QString tag() const override { return m_tag; }
    void setTag(const QString &tag) override { m_tag = tag; }
    void clearContent() override { setValue(0); }
    void unlock() override { setEnabled(true); }
    void scriptClick(const QString &button) override;
    void scriptKey(int keyCode, int shift) override;
    QStringList scriptDefaultProperties() const override;

signals:
    void keyDown(int keyCode, int shift);
    void keyPress(int characterCode);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_tag;
};

// A flat push button.
class FlatButton : public QPushButton, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    explicit FlatButton(const QString &caption = {}, QWidget *parent = nullptr);
    QString tag() const override { return m_tag; }
    void setTag(const QString &tag) override { m_tag = tag; }
    void clearContent() override {}
    void unlock() override { setEnabled(true); }
    void scriptClick(const QString &button) override;
    QStringList scriptDefaultProperties() const override;

private:
    QString m_tag;
};

// Date picker with Value (QDate), a drop-down calendar and the suite's dd/MM/yyyy text.
// Clearing puts today's date (the server's, through Utilities) back.
class DatePicker : public QWidget, public GroupedControl, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QDate Value READ value WRITE setValue)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)
    Q_PROPERTY(QString Text READ text)

public:
    explicit DatePicker(QWidget *parent = nullptr);
    QDate value() const;
    void setValue(const QDate &date);
    QString text() const;
    QString tag() const override { return m_tag; }
    void setTag(const QString &tag) override { m_tag = tag; }
    void clearContent() override;
    void unlock() override { setEnabled(true); }
    void scriptType(const QString &text) override;   // yyyy-MM-dd or dd/MM/yyyy
    QStringList scriptDefaultProperties() const override;

signals:
    void changed();

private:
    QDateEdit *m_edit;
    QString m_tag;
};

// The tab strip: captioned pages, each showing one widget (a frame) below the tabs.
// Selecting a page (click, Tab = n, Ctrl+Tab / Ctrl+Shift+Tab or Ctrl+PgDown / Ctrl+PgUp
// anywhere on the strip's screen) raises click(previousTab).
class TabStrip : public QWidget, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(int Tab READ tab WRITE setTab)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)

public:
    explicit TabStrip(QWidget *parent = nullptr);
    int addPage(const QString &caption, QWidget *page);
    int tab() const;
    void setTab(int page);   // raises click(previous) when the page changes
    int pageCount() const;
    QWidget *page(int index) const;
    void scriptClick(const QString &button) override;   // the page number
    void scriptKey(int keyCode, int shift) override;
    QStringList scriptDefaultProperties() const override;

signals:
    void click(int previousTab);
    void keyDown(int keyCode, int shift);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown, Ctrl+PgUp and the arrows while the strip has
    // the focus; true when handled.
    bool moveByKey(int qtKey, Qt::KeyboardModifiers modifiers);
    // The next (+1) or previous (-1) enabled page, going round.
    void turnPage(int step);

    QTabBar *m_bar;
    QStackedWidget *m_pages;
    int m_current = -1;
};

// Invisible control that applies the suite's colours to its window.
class ColorScheme : public QWidget
{
    Q_OBJECT

public:
    explicit ColorScheme(QWidget *parent = nullptr);
    void Apply();
};

} // namespace zentaro

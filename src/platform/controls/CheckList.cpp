#include "platform/controls/CheckList.h"

#include "platform/controls/CheckListModel.h"
#include "platform/controls/VirtualKeys.h"
#include "platform/core/Error.h"
#include "platform/services/Platform.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPointer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace zentaro {

namespace {

[[noreturn]] void outOfRange()
{
    throw Error(QStringLiteral("El subíndice está fuera del intervalo"));
}

// The tree view without a tree: every key goes to the list's keyDown first, with the
// suite's key code, and the handler may swallow it (code 0) or change it.
class ListView : public QTreeView
{
public:
    explicit ListView(CheckList *owner) : QTreeView(owner), m_owner(owner) {}

    std::function<void()> toggleCurrent;

protected:
    // QTreeView looks a changed row up among its items one by one (and again for its
    // rectangle), which makes one check mark cost the length of the list. Rows here are flat,
    // of one height and never edited in place, so a change needs nothing but a repaint of
    // what shows; Qt folds the repaints of many changes into one.
    void dataChanged(const QModelIndex &, const QModelIndex &, const QList<int> &) override
    {
        viewport()->update();
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const int original = virtualkeys::fromQt(event->key(), event->modifiers());
        if (original == 0) {
            QTreeView::keyPressEvent(event);
            return;
        }
        int code = original;
        QPointer<ListView> alive(this);
        const int shift = virtualkeys::shiftState(event->modifiers());
        dispatchEvent(m_owner->objectName(), [&] { emit m_owner->keyDown(code, shift); });
        if (!alive)
            return;   // the handler closed the screen
        event->accept();
        if (code == 0)
            return;
        if (code == 32) {
            // Space marks the current row; the view's own handling would also change
            // the selection and toggle only when the current cell is the check column.
            toggleCurrent();
            return;
        }
        if (code == original) {
            QTreeView::keyPressEvent(event);
            return;
        }
        const int qtKey = virtualkeys::toQt(code);
        QKeyEvent changed(QEvent::KeyPress, qtKey, event->modifiers(), event->text());
        QTreeView::keyPressEvent(&changed);
    }

private:
    CheckList *m_owner;
};

} // namespace

// A child QObject of the list, so that it goes with the list (the class declares no
// destructor of its own).
struct CheckList::Private : public QObject
{
    CheckListModel *model = nullptr;
    ListView *view = nullptr;
    QString tag;
    bool containerActive = true;
    QList<int> widths;
    int sortKey = 0;
    bool ascending = true;
    bool sorted = false;
    // Whether the rows are in the order of the last sort (nothing added or changed since).
    bool orderCurrent = false;
    int sortedKey = -1;
    bool sortedAscending = true;
    bool applyingWidth = false;

    void checkRow(int row) const
    {
        if (row < 0 || row >= model->storedRows())
            outOfRange();
    }
    void applyWidth(int column)
    {
        QHeaderView *header = view->header();
        applyingWidth = true;
        const int width = widths[column];
        if (width <= 0) {
            header->setSectionHidden(column, true);
        } else {
            header->setSectionHidden(column, false);
            header->resizeSection(column, width);
        }
        applyingWidth = false;
    }
    void applySort()
    {
        if (orderCurrent && sortedKey == sortKey && sortedAscending == ascending)
            return;
        model->sortRows(sortKey, ascending);
        orderCurrent = true;
        sortedKey = sortKey;
        sortedAscending = ascending;
        view->header()->setSortIndicator(sortKey, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
};

CheckList::CheckList(QWidget *parent) : QWidget(parent), d(new Private)
{
    d->model = new CheckListModel(this);
    d->view = new ListView(this);
    QTreeView *view = d->view;
    view->setModel(d->model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);   // keeps scrolling 100,000 rows cheap
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);   // the screen decides on columnClick
    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setSortIndicatorShown(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setFocusProxy(view);

    d->view->toggleCurrent = [this] {
        const QModelIndex current = d->view->currentIndex();
        if (current.isValid() && d->containerActive && isEnabled())
            d->model->userSetChecked(current.row(), !d->model->isChecked(current.row()));
    };
    // The screen's handlers run as the platform runs every event: what they do not trap is
    // reported, never thrown through the event loop.
    connect(d->model, &CheckListModel::userChangedCheck, this, [this](int row) {
        dispatchEvent(objectName(), [&] { emit itemCheck(row); });
    });
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        dispatchEvent(objectName(), [&] { emit columnClick(section + 1); });
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (!d->applyingWidth && size > 0 && section < d->widths.size())
            d->widths[section] = size;
    });
    // Last among the children, so that the view and the model never outlive it.
    d->setParent(this);
}

void CheckList::addColumn(const QString &header, int widthPixels, Qt::Alignment alignment)
{
    d->model->addColumn(header, alignment);
    d->widths.append(std::max(widthPixels, 0));
    d->applyWidth(int(d->widths.size()) - 1);
}

int CheckList::columnCount() const
{
    return d->model->headerCount();
}

int CheckList::columnWidth(int column) const
{
    if (column < 0 || column >= d->widths.size())
        outOfRange();
    return d->widths[column];
}

void CheckList::setColumnWidth(int column, int widthPixels)
{
    if (column < 0 || column >= d->widths.size())
        outOfRange();
    d->widths[column] = std::max(widthPixels, 0);
    d->applyWidth(column);
}

int CheckList::addRow(const QString &key, const QString &text)
{
    const int row = d->model->addRow(key, text);
    d->orderCurrent = false;
    return row;
}

void CheckList::setCell(int row, int column, const QString &text)
{
    d->checkRow(row);
    if (column < 0)
        outOfRange();
    d->model->setCell(row, column, text);
    if (column == d->sortedKey)
        d->orderCurrent = false;
}

void CheckList::reserve(int rows)
{
    d->model->reserve(rows);
}

int CheckList::count() const
{
    return d->model->storedRows();
}

void CheckList::clear()
{
    d->model->clearRows();
    d->orderCurrent = false;
}

QString CheckList::key(int row) const
{
    d->checkRow(row);
    return d->model->key(row);
}

QString CheckList::text(int row) const
{
    return cell(row, 0);
}

QString CheckList::cell(int row, int column) const
{
    d->checkRow(row);
    if (column < 0)
        outOfRange();
    return d->model->cell(row, column);
}

bool CheckList::isChecked(int row) const
{
    d->checkRow(row);
    return d->model->isChecked(row);
}

void CheckList::setChecked(int row, bool checked)
{
    d->checkRow(row);
    d->model->setChecked(row, checked);
}

void CheckList::setAllChecked(bool checked)
{
    d->model->setAllChecked(checked);
}

int CheckList::rowOfKey(const QString &key) const
{
    return d->model->rowOfKey(key);
}

void CheckList::setSummedColumns(const std::vector<int> &columns)
{
    d->model->setSummedColumns(columns);
}

const std::vector<int> &CheckList::summedColumns() const
{
    return d->model->summedColumns();
}

std::optional<Decimal> CheckList::checkedSum(int column) const
{
    return d->model->checkedSum(column);
}

Decimal CheckList::amount(int row, int column) const
{
    d->checkRow(row);
    if (column < 0)
        outOfRange();
    return d->model->amount(row, column);
}

int CheckList::selectedItem() const
{
    d->model->publish();
    const QModelIndex current = d->view->currentIndex();
    return current.isValid() ? current.row() : -1;
}

QList<int> CheckList::selectedRows() const
{
    d->model->publish();
    QList<int> rows;
    for (const QItemSelectionRange &range : d->view->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void CheckList::selectRows(const QList<int> &rows)
{
    for (const int row : rows)
        d->checkRow(row);
    d->model->publish();
    QItemSelectionModel *selection = d->view->selectionModel();
    if (rows.isEmpty() || d->model->headerCount() == 0) {
        selection->clearSelection();
        selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        return;
    }
    // Runs of consecutive rows become one range each.
    QList<int> ordered = rows;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    const int lastColumn = d->model->headerCount() - 1;
    QItemSelection wanted;
    for (qsizetype i = 0; i < ordered.size();) {
        qsizetype j = i;
        while (j + 1 < ordered.size() && ordered[j + 1] == ordered[j] + 1)
            ++j;
        wanted.append(QItemSelectionRange(d->model->index(ordered[i], 0), d->model->index(ordered[j], lastColumn)));
        i = j + 1;
    }
    selection->select(wanted, QItemSelectionModel::ClearAndSelect);
    const QModelIndex current = d->model->index(rows.first(), 0);
    selection->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    d->view->scrollTo(current);
}

int CheckList::sortKey() const
{
    return d->sortKey;
}

void CheckList::setSortKey(int column)
{
    d->sortKey = std::max(column, 0);
    if (d->sorted)
        d->applySort();
}

bool CheckList::sortAscending() const
{
    return d->ascending;
}

void CheckList::setSortAscending(bool ascending)
{
    d->ascending = ascending;
    if (d->sorted)
        d->applySort();
}

bool CheckList::sorted() const
{
    return d->sorted;
}

void CheckList::setSorted(bool on)
{
    // Rows added later are appended; the screen sorts again by setting Sorted (or the
    // sort key / order) once it has loaded them, which keeps loading linear.
    d->sorted = on;
    d->view->header()->setSortIndicatorShown(on);
    if (on)
        d->applySort();
}

bool CheckList::containerActive() const
{
    return d->containerActive;
}

void CheckList::setContainerActive(bool on)
{
    d->containerActive = on;
    d->model->setUserCheckable(on);
}

QString CheckList::tag() const
{
    return d->tag;
}

void CheckList::setTag(const QString &tag)
{
    d->tag = tag;
}

void CheckList::clearContent()
{
    clear();
}

void CheckList::unlock()
{
    setEnabled(true);
}

void CheckList::scriptCheck(const QString &key, bool on)
{
    const int row = rowOfKey(key);
    if (row < 0)
        throw ScriptRefusal(QStringLiteral("la lista no tiene la clave %1").arg(key));
    if (!isEnabled() || !d->containerActive)
        throw ScriptRefusal(QStringLiteral("la lista no está disponible"));
    d->model->userSetChecked(row, on);
}

void CheckList::scriptSelect(const QStringList &keys)
{
    QList<int> rows;
    rows.reserve(keys.size());
    for (const QString &key : keys) {
        const int row = rowOfKey(key);
        if (row < 0)
            throw ScriptRefusal(QStringLiteral("la lista no tiene la clave %1").arg(key));
        rows.append(row);
    }
    selectRows(rows);
}

void CheckList::scriptClick(const QString &button)
{
    bool ok = false;
    const int column = button.toInt(&ok);
    if (!ok || column < 1 || column > columnCount())
        throw ScriptRefusal(QStringLiteral("click en una lista necesita el número de columna (1 a %1)").arg(columnCount()));
    if (!isEnabled())
        throw ScriptRefusal(QStringLiteral("la lista no está disponible"));
    dispatchEvent(objectName(), [&] { emit columnClick(column); });
}

void CheckList::scriptKey(int keyCode, int shift)
{
    if (!isEnabled())
        throw ScriptRefusal(QStringLiteral("la lista no está disponible"));
    const int qtKey = virtualkeys::toQt(keyCode);
    if (virtualkeys::fromQt(qtKey) != keyCode) {
        // A code with no key of its own still reaches the screen's handler.
        int code = keyCode;
        dispatchEvent(objectName(), [&] { emit keyDown(code, shift); });
        return;
    }
    d->model->publish();
    QKeyEvent press(QEvent::KeyPress, qtKey, virtualkeys::modifiers(shift),
                    qtKey == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QCoreApplication::sendEvent(d->view, &press);
}

OrderedJson CheckList::scriptListState() const
{
    const int rows = count();
    const int cells = std::max(columnCount(), 1);
    std::vector<char> selected(std::size_t(rows), 0);
    for (const int row : selectedRows())
        selected[std::size_t(row)] = 1;

    OrderedJson list = OrderedJson::array();
    for (int row = 0; row < rows; ++row) {
        OrderedJson texts = OrderedJson::array();
        for (int column = 0; column < cells; ++column)
            texts.append(d->model->cell(row, column));
        OrderedJson item = OrderedJson::object();
        item.insert(QStringLiteral("key"), d->model->key(row));
        item.insert(QStringLiteral("checked"), QJsonValue(d->model->isChecked(row)));
        item.insert(QStringLiteral("selected"), QJsonValue(selected[std::size_t(row)] != 0));
        item.insert(QStringLiteral("cells"), texts);
        list.append(item);
    }
    // Pixel widths are left out: once a list is fitted to its texts they follow the
    // installed fonts. Which columns are hidden is the screen's own decision.
    OrderedJson hidden = OrderedJson::array();
    for (int column = 0; column < d->widths.size(); ++column)
        if (d->widths[column] == 0)
            hidden.append(QJsonValue(column + 1));
    OrderedJson state = OrderedJson::object();
    state.insert(QStringLiteral("rows"), list);
    state.insert(QStringLiteral("hidden"), hidden);
    // Unsorted, the rows keep the order their statement gave, which SQL leaves open
    // without ORDER BY; readers of the state compare such rows by key.
    state.insert(QStringLiteral("sorted"), QJsonValue(d->sorted));
    return state;
}

} // namespace zentaro

// How the screen follows the size of its window, and which page takes input.

#include "qx417/screen/frmQX417.h"

#include "qx417/screen/Twips.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Error.h"

#include <QResizeEvent>

namespace qx417 {

using namespace zentaro;

namespace {

// A list and its totals frame on one page: the list takes the page's width and what is left
// of its height; the totals sit 50 twips under it, flush with its right edge.
void fitListAndTotals(QWidget *page, CheckList *list, QWidget *totals)
{
    const int height = page->height() - list->y() - totals->height() - px(100);
    if (height <= 0)
        throw Error(QStringLiteral("La ventana es demasiado pequeña"));
    list->setGeometry(list->x(), list->y(), page->width(), height);
    totals->move(list->x() + list->width() - totals->width(), list->y() + list->height() + px(50));
}

} // namespace

void frmQX417::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmQX417::Form_Resize()
{
    // While the window is minimised or too small the controls keep their places.
    try {
        Controles->resize(this->width(), Controles->height());
        const int width = this->width() - 2 * ssTabVek->x();
        const int height = this->height() - ssTabVek->y() - px(100);
        if (width <= 0 || height <= 0)
            return;
        ssTabVek->resize(width, height);
        // The pages follow the tab strip when its layout runs; fitPages follows them then.
        for (QWidget *band : {sh0, sh1, sh3, frDev->findChild<QWidget *>(QStringLiteral("shDev"))})
            if (band)
                band->resize(band->parentWidget()->width(), band->height());
    } catch (...) {
    }
}

void frmQX417::fitPages()
{
    try {
        fitListAndTotals(frDetalle, lvNotas, frTotal);
        fitListAndTotals(frDev, lvDevoluciones, frDevTotal);
    } catch (...) {
    }
}

void frmQX417::ssTabVek_Click(int previousTab)
{
    Q_UNUSED(previousTab);
    // Each page's own frame; the returns page comes after the designed three.
    Frame *frames[] = {fr0, frDetalle, frTot, frDev};
    for (Frame *frame : frames)
        frame->setEnabled(false);
    const int selected = ssTabVek->tab();
    if (selected >= 0 && selected < 4)
        frames[selected]->setEnabled(true);
}

} // namespace qx417

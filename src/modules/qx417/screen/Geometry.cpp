// How the screen follows the size of its window, and which page takes input.

#include "qx417/screen/frmQX417.h"

#include "qx417/screen/Twips.h"

#include "platform/controls/CheckList.h"
#include "platform/controls/SimpleControls.h"
#include "platform/controls/Toolbar.h"
#include "platform/core/Error.h"

#include <QResizeEvent>

#include <algorithm>

namespace qx417 {

using namespace zentaro;

namespace {

// A list and its totals frame on one page: the list takes the width inside the page's
// border and what is left of its height; the totals sit 50 twips under it, flush with its
// right edge, and as wide as their boxes need (the fonts decide), plus a margin, so that
// no box is cut by the frame's border.
void fitListAndTotals(Frame *page, CheckList *list, QWidget *totals)
{
    const QRect area = page->contentsRect();
    const int height = area.bottom() + 1 - list->y() - totals->height() - px(100);
    if (height <= 0)
        throw Error(QStringLiteral("La ventana es demasiado pequeña"));
    list->setGeometry(area.left(), list->y(), area.width(), height);
    const int needed = totals->childrenRect().right() + 1 + px(120);
    totals->resize(std::min(std::max(totals->width(), needed), list->width()), totals->height());
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
        // The pages follow the tab strip when its layout runs; fitPages and the pages' bands
        // follow them then.
        ssTabVek->resize(width, height);
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

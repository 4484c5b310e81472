#include "ui/print/PrintPreview.h"

#include "ui/base/MessageBox.h"

#include <QAbstractScrollArea>
#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr qreal PointsPerInch = 72.0;
/// The resolution the preview lays its pages out at: that of a high-resolution printer, so that texts are
/// measured and elided as on paper.
constexpr qreal LayoutDpi = 1200.0;
/// Grey space around the page, in screen pixels.
constexpr int Gap = 12;
constexpr qreal TenthsPerMillimetre = 10.0;
/// Room the margins must leave: a title, a header and one data row high (18 points each), and as wide.
constexpr qreal MinimumPaintPoints = 3 * 18.0;

const QColor DeskColour(128, 128, 128);

} // namespace

/// The page on screen: the paper at the preview's zoom, centred when it is smaller than the view, scrolled
/// with the scroll bars when it is larger. Paints the one page and nothing else.
class PreviewPageView : public QAbstractScrollArea
{
public:
    explicit PreviewPageView(PrintPreview& preview)
        : QAbstractScrollArea(&preview)
        , m_preview(preview)
    {
        setObjectName(u"预览页面"_s);
        setFrameStyle(QFrame::NoFrame);
        // A scroll area fills its viewport with the role it gives it (Base, white in most styles): the desk colour
        // goes to that role, so that the white page stands out.
        viewport()->setAutoFillBackground(true);
        QPalette palette = viewport()->palette();
        palette.setColor(viewport()->backgroundRole(), DeskColour);
        viewport()->setPalette(palette);
        setFocusPolicy(Qt::StrongFocus);
    }

    /// Screen pixels per point of paper at zoom 1.
    qreal pixelsPerPointAtFullSize() const { return logicalDpiY() / PointsPerInch; }

    QSizeF paperPoints() const { return m_preview.m_layout.fullRect(QPageLayout::Point).size(); }

    /// The paper's size on screen at the current zoom.
    QSize paperPixels() const
    {
        const qreal scale = pixelsPerPointAtFullSize() * m_preview.zoom();
        return QSize(qRound(paperPoints().width() * scale), qRound(paperPoints().height() * scale));
    }

    /// The zoom at which the paper's width, or its height, fills the view (less the grey gap).
    qreal fitZoom(PrintPreview::ZoomMode mode) const
    {
        const QSize room = maximumViewportSize() - QSize(2 * Gap, 2 * Gap);
        const qreal full = pixelsPerPointAtFullSize();
        if (mode == PrintPreview::FitWidth) {
            // The page is taller than wide, so a vertical scroll bar will take its share of the width.
            const int width = room.width() - verticalScrollBar()->sizeHint().width();
            return width / (paperPoints().width() * full);
        }
        return room.height() / (paperPoints().height() * full);
    }

    void updateScrollBars()
    {
        const QSize paper = paperPixels() + QSize(2 * Gap, 2 * Gap);
        const QSize view = viewport()->size();
        horizontalScrollBar()->setRange(0, std::max(0, paper.width() - view.width()));
        horizontalScrollBar()->setPageStep(view.width());
        horizontalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setRange(0, std::max(0, paper.height() - view.height()));
        verticalScrollBar()->setPageStep(view.height());
        verticalScrollBar()->setSingleStep(20);
        viewport()->update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(viewport());
        const QSize paper = paperPixels();
        const QSize view = viewport()->size();
        const int left = paper.width() + 2 * Gap <= view.width() ? (view.width() - paper.width()) / 2
                                                                 : Gap - horizontalScrollBar()->value();
        const int top = paper.height() + 2 * Gap <= view.height() ? (view.height() - paper.height()) / 2
                                                                  : Gap - verticalScrollBar()->value();
        painter.translate(left, top);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_preview.paintCurrentPage(painter, pixelsPerPointAtFullSize() * m_preview.zoom());
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QAbstractScrollArea::resizeEvent(event);
        if (m_preview.zoomMode() != PrintPreview::FreeZoom)
            m_preview.applyFit();
        updateScrollBars();
    }

    void scrollContentsBy(int, int) override { viewport()->update(); }

private:
    PrintPreview& m_preview;
};

PrintPreview::PrintPreview(std::shared_ptr<const PagePrinter> printer, const QPageLayout& layout, QWidget* parent)
    : QDialog(parent)
    , m_printer(std::move(printer))
    , m_layout(layout)
{
    setObjectName(u"打印预览"_s);
    setWindowTitle(u"打印预览"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    const auto add = [&](const QString& caption, const QString& name, void (PrintPreview::*command)()) {
        QToolButton* button = addButton(caption, name, command);
        buttons->addWidget(button);
        return button;
    };
    add(u"打印"_s, u"打印按钮"_s, &PrintPreview::print);
    add(u"页边距"_s, u"页边距按钮"_s, &PrintPreview::editMargins);
    add(u"打印设置"_s, u"打印设置按钮"_s, &PrintPreview::printSetup);
    m_previousButton = add(u"上页"_s, u"上页按钮"_s, &PrintPreview::previousPage);
    m_nextButton = add(u"下页"_s, u"下页按钮"_s, &PrintPreview::nextPage);
    add(u"到指定页"_s, u"到指定页按钮"_s, &PrintPreview::goToPage);
    m_zoomInButton = add(u"放大"_s, u"放大按钮"_s, &PrintPreview::zoomIn);
    m_zoomOutButton = add(u"缩小"_s, u"缩小按钮"_s, &PrintPreview::zoomOut);
    add(u"等宽"_s, u"等宽按钮"_s, &PrintPreview::fitWidth);
    add(u"等高"_s, u"等高按钮"_s, &PrintPreview::fitHeight);
    QToolButton* quit = addButton(u"退出"_s, u"退出按钮"_s, nullptr);
    connect(quit, &QToolButton::clicked, this, &QDialog::reject);
    buttons->addWidget(quit);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(u"页码标签"_s);
    buttons->addSpacing(12);
    buttons->addWidget(m_pageLabel);
    buttons->addStretch(1);

    m_view = new PreviewPageView(*this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(buttons);
    column->addWidget(m_view, 1);

    QSize size(900, 760);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.9);
    resize(size);
    updateControls();
}

PrintPreview::~PrintPreview() = default;

QToolButton* PrintPreview::addButton(const QString& caption, const QString& name, void (PrintPreview::*command)())
{
    // Tool buttons, sized to their captions, keep the row of eleven narrow enough for a small screen.
    auto* button = new QToolButton(this);
    button->setText(caption);
    button->setObjectName(name);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::TabFocus);
    if (command != nullptr)
        connect(button, &QToolButton::clicked, this, [this, command] { (this->*command)(); });
    return button;
}

int PrintPreview::pageCount() const
{
    return m_printer->pageCount(m_layout);
}

void PrintPreview::setCurrentPage(int page)
{
    m_page = std::clamp(page, 1, pageCount());
    m_view->verticalScrollBar()->setValue(0);
    m_view->viewport()->update();
    updateControls();
}

QMargins PrintPreview::marginsInTenthsOfMillimetre() const
{
    const QMarginsF mm = m_layout.margins(QPageLayout::Millimeter);
    return QMargins(qRound(mm.left() * TenthsPerMillimetre), qRound(mm.top() * TenthsPerMillimetre),
                    qRound(mm.right() * TenthsPerMillimetre), qRound(mm.bottom() * TenthsPerMillimetre));
}

bool PrintPreview::setMarginsInTenthsOfMillimetre(const QMargins& margins)
{
    const QMarginsF mm(margins.left() / TenthsPerMillimetre, margins.top() / TenthsPerMillimetre,
                       margins.right() / TenthsPerMillimetre, margins.bottom() / TenthsPerMillimetre);
    if (mm.left() < 0 || mm.top() < 0 || mm.right() < 0 || mm.bottom() < 0)
        return false;
    QPageLayout changed(m_layout);
    changed.setUnits(QPageLayout::Millimeter);
    changed.setMode(QPageLayout::FullPageMode); // no printer's minimum margins stand between
    if (!changed.setMargins(mm))
        return false;
    changed.setMode(m_layout.mode());
    const QRectF paint = changed.paintRect(QPageLayout::Point);
    if (paint.height() < MinimumPaintPoints || paint.width() < MinimumPaintPoints)
        return false;
    // A printer, once made, keeps the layout the pages are laid out by.
    if (m_device && !m_device->setPageLayout(changed))
        return false;
    changed.setUnits(m_layout.units());
    m_layout = changed;
    layoutChanged();
    return true;
}

void PrintPreview::paintCurrentPage(QPainter& painter, qreal pixelsPerPoint) const
{
    const QRectF paper(QPointF(0, 0), m_layout.fullRect(QPageLayout::Point).size() * pixelsPerPoint);
    painter.save();
    painter.fillRect(paper, Qt::white);
    painter.setClipRect(paper);
    const QRectF paint = m_layout.paintRect(QPageLayout::Point);
    painter.translate(paint.topLeft() * pixelsPerPoint);
    painter.scale(pixelsPerPoint * PointsPerInch / LayoutDpi, pixelsPerPoint * PointsPerInch / LayoutDpi);
    m_printer->paintPage(painter, m_layout, LayoutDpi, m_page);
    painter.restore();
}

QPrinter& PrintPreview::printer()
{
    if (!m_device) {
        m_device = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_device->setPageLayout(m_layout);
    }
    return *m_device;
}

void PrintPreview::print()
{
    QPrinter& device = printer();
    const int pages = pageCount();
    device.setFromTo(0, 0);
    QPrintDialog dialog(&device, this);
    dialog.setObjectName(u"打印对话框"_s);
    dialog.setWindowTitle(u"打印"_s);
    dialog.setMinMax(1, pages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The print dialog may offer other paper: the pages follow it.
    if (!(device.pageLayout().isEquivalentTo(m_layout))) {
        m_layout = device.pageLayout();
        layoutChanged();
    }
    const PagePrinter::Outcome outcome = m_printer->printWithProgress(&device);
    if (outcome == PagePrinter::Failed) {
        MessageBox::show(u"打印失败。"_s, u"错误"_s, MessageBox::OkOnly, MessageBox::Stop);
        return;
    }
    if (outcome == PagePrinter::Printed)
        accept();
}

void PrintPreview::editMargins()
{
    QDialog dialog(this);
    dialog.setObjectName(u"页边距"_s);
    dialog.setWindowTitle(u"页边距"_s);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* form = new QFormLayout;
    const QSizeF paper = m_layout.fullRect(QPageLayout::Millimeter).size();
    const QMargins now = marginsInTenthsOfMillimetre();
    const auto box = [&](const QString& label, const QString& name, int value, qreal limitMm) {
        auto* spin = new QSpinBox(&dialog);
        spin->setObjectName(name);
        spin->setRange(0, int(limitMm * TenthsPerMillimetre));
        spin->setValue(value);
        spin->setSuffix(u" × 0.1 毫米"_s);
        form->addRow(label, spin);
        return spin;
    };
    QSpinBox* top = box(u"上边距："_s, u"上边距框"_s, now.top(), paper.height());
    QSpinBox* bottom = box(u"下边距："_s, u"下边距框"_s, now.bottom(), paper.height());
    QSpinBox* left = box(u"左边距："_s, u"左边距框"_s, now.left(), paper.width());
    QSpinBox* right = box(u"右边距："_s, u"右边距框"_s, now.right(), paper.width());
    auto* answer = new QDialogButtonBox(&dialog);
    QPushButton* ok = answer->addButton(u"确定"_s, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"确定按钮"_s);
    ok->setDefault(true);
    QPushButton* cancel = answer->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"取消按钮"_s);
    auto* column = new QVBoxLayout(&dialog);
    column->addLayout(form);
    column->addWidget(answer);
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    connect(ok, &QPushButton::clicked, &dialog, [&] {
        const QMargins wanted(left->value(), top->value(), right->value(), bottom->value());
        if (!setMarginsInTenthsOfMillimetre(wanted)) {
            // The dialog stays open with the user's values, to be corrected.
            MessageBox::show(u"页边距太大，页面上放不下表格。"_s, u"系统提示"_s, MessageBox::OkOnly,
                             MessageBox::Warning);
            return;
        }
        dialog.accept();
    });
    dialog.exec();
}

void PrintPreview::printSetup()
{
    QPrinter& device = printer();
    QPageSetupDialog dialog(&device, this);
    dialog.setObjectName(u"打印设置"_s);
    dialog.setWindowTitle(u"打印设置"_s);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_layout = device.pageLayout();
    layoutChanged();
}

void PrintPreview::previousPage()
{
    setCurrentPage(m_page - 1);
}

void PrintPreview::nextPage()
{
    setCurrentPage(m_page + 1);
}

void PrintPreview::goToPage()
{
    QInputDialog dialog(this);
    dialog.setObjectName(u"到指定页"_s);
    dialog.setWindowTitle(u"到指定页"_s);
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setLabelText(u"页码（1 至 %1）："_s.arg(pageCount()));
    dialog.setIntRange(1, pageCount());
    dialog.setIntValue(m_page);
    dialog.setOkButtonText(u"确定"_s);
    dialog.setCancelButtonText(u"取消"_s);
    if (dialog.exec() == QDialog::Accepted)
        setCurrentPage(dialog.intValue());
}

void PrintPreview::zoomIn()
{
    setZoom(m_zoom * ZoomStep, FreeZoom);
}

void PrintPreview::zoomOut()
{
    setZoom(m_zoom / ZoomStep, FreeZoom);
}

void PrintPreview::fitWidth()
{
    m_zoomMode = FitWidth;
    applyFit();
}

void PrintPreview::fitHeight()
{
    m_zoomMode = FitHeight;
    applyFit();
}

void PrintPreview::applyFit()
{
    setZoom(m_view->fitZoom(m_zoomMode), m_zoomMode);
}

void PrintPreview::setZoom(qreal zoom, ZoomMode mode)
{
    if (!std::isfinite(zoom))
        zoom = 1.0;
    m_zoom = std::clamp(zoom, MinimumZoom, MaximumZoom);
    m_zoomMode = mode;
    m_view->updateScrollBars();
    updateControls();
}

void PrintPreview::layoutChanged()
{
    m_page = std::clamp(m_page, 1, pageCount());
    if (m_zoomMode != FreeZoom)
        applyFit();
    m_view->updateScrollBars();
    updateControls();
}

void PrintPreview::updateControls()
{
    const int pages = pageCount();
    m_pageLabel->setText(u"第 %1 页，共 %2 页    %3%"_s.arg(m_page).arg(pages).arg(qRound(m_zoom * 100)));
    m_previousButton->setEnabled(m_page > 1);
    m_nextButton->setEnabled(m_page < pages);
    m_zoomInButton->setEnabled(m_zoom < MaximumZoom);
    m_zoomOutButton->setEnabled(m_zoom > MinimumZoom);
}

} // namespace ovelta

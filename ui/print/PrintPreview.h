#pragma once

#include "ui/print/PagePrinter.h"

#include <QDialog>
#include <QMarginsF>
#include <QPageLayout>
#include <concepts>
#include <memory>

class QLabel;
class QPrinter;
class QToolButton;

namespace ovelta {

class PreviewPageView;

/// The print preview of the ledger grid and of the report tables, titled "打印预览": one page on screen at a time, with
/// the buttons 打印 (print dialog, then printing with progress), 页边距 (margins in tenths of a millimetre), 打印设置
/// (paper and orientation), 上页, 下页, 到指定页, 放大, 缩小, 等宽 (page width fills the view), 等高 (the whole
/// page height fits the view) and 退出.
///
/// Opening costs the same for any ledger size: the pages are laid out by arithmetic (rows per page) and only the
/// page on screen is painted, when it is painted. The printer itself is made only when printing or the print
/// settings need it.
class PrintPreview : public QDialog
{
    Q_OBJECT
public:
    enum ZoomMode { FitWidth, FitHeight, FreeZoom };
    static constexpr qreal MinimumZoom = 0.1;
    static constexpr qreal MaximumZoom = 8.0;
    static constexpr qreal ZoomStep = 1.25;

    /// The preview shows what a copy of printer paints, with that page layout to start with. What the printer
    /// paints from (a grid's rows) must outlive the preview.
    template <std::derived_from<PagePrinter> Printer>
    PrintPreview(const Printer& printer, const QPageLayout& layout, QWidget* parent = nullptr)
        : PrintPreview(std::make_shared<Printer>(printer), layout, parent)
    {
    }
    /// The same for any kind of pages; the preview keeps them while it is open.
    PrintPreview(std::shared_ptr<const PagePrinter> printer, const QPageLayout& layout, QWidget* parent = nullptr);
    ~PrintPreview() override;

    const QPageLayout& pageLayout() const { return m_layout; }
    int pageCount() const;
    /// The page on screen, 1-based.
    int currentPage() const { return m_page; }
    /// Shows that page; a number outside the pages is clamped to them.
    void setCurrentPage(int page);
    /// On-screen size relative to the paper's own (1.0: a centimetre on paper is a centimetre on screen at
    /// the screen's nominal resolution).
    qreal zoom() const { return m_zoom; }
    ZoomMode zoomMode() const { return m_zoomMode; }
    /// The page's margins in tenths of a millimetre.
    QMargins marginsInTenthsOfMillimetre() const;
    /// Sets the margins (tenths of a millimetre); false, with nothing changed, when they leave no room for the
    /// title, the header and one data row.
    bool setMarginsInTenthsOfMillimetre(const QMargins& margins);

    /// Paints the current page onto painter at scale (device pixels per point of paper), the paper's top left
    /// at the painter's origin.
    void paintCurrentPage(QPainter& painter, qreal pixelsPerPoint) const;

    // The buttons' commands.
    void print();
    void editMargins();
    void printSetup();
    void previousPage();
    void nextPage();
    void goToPage();
    void zoomIn();
    void zoomOut();
    void fitWidth();
    void fitHeight();

private:
    friend class PreviewPageView;
    QToolButton* addButton(const QString& caption, const QString& name, void (PrintPreview::*command)());
    QPrinter& printer();
    void setZoom(qreal zoom, ZoomMode mode);
    /// The zoom of a fit mode for the view's current size.
    void applyFit();
    void layoutChanged();
    void updateControls();

    std::shared_ptr<const PagePrinter> m_printer;
    QPageLayout m_layout;
    std::unique_ptr<QPrinter> m_device;
    PreviewPageView* m_view;
    QLabel* m_pageLabel;
    QToolButton* m_previousButton;
    QToolButton* m_nextButton;
    QToolButton* m_zoomInButton;
    QToolButton* m_zoomOutButton;
    int m_page = 1;
    qreal m_zoom = 1.0;
    ZoomMode m_zoomMode = FitHeight;
};

} // namespace ovelta

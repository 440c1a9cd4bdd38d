#include "app/DarkPalette.h"

#include "core/AppConstants.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace pelorin {

void applyDarkAppearance(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QColor window = Theme::chrome();
    const QColor base = Theme::canvasBackdrop();
    const QColor text(236, 236, 240);
    const QColor muted(150, 150, 160);
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window.lighter(115));
    palette.setColor(QPalette::ToolTipBase, window.lighter(130));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, muted);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window.lighter(125));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, Theme::accent());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, Theme::accentHover());
    palette.setColor(QPalette::Mid, window.lighter(140));
    palette.setColor(QPalette::Dark, window.darker(130));
    palette.setColor(QPalette::Light, window.lighter(160));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted.darker(130));
    app.setPalette(palette);
}

} // namespace pelorin

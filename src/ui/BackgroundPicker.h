#pragma once

#include "core/Styling.h"

#include <QAbstractButton>
#include <QFutureWatcher>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace pelorin {

class EditorViewModel;

// One square of the background picker.
class BackgroundSwatch : public QAbstractButton {
    Q_OBJECT
public:
    BackgroundSwatch(BackgroundStyle style, QString caption, QWidget* parent);

    const BackgroundStyle& style() const { return m_style; }
    QString caption() const { return m_caption; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void setPicture(const QImage& picture);
    bool hasPicture() const { return !m_picture.isNull(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    BackgroundStyle m_style;
    QString m_caption;
    QImage m_picture;
    bool m_selected = false;
    bool m_hovered = false;
};

// The background choices: the desktop wallpaper, transparency and the eighteen presets.
// The wallpaper's thumbnail is checked off the GUI thread each time the picker is shown;
// the cache behind it answers at once unless the desktop picture changed.
class BackgroundPicker : public QWidget {
    Q_OBJECT
public:
    using WallpaperThumbnail = std::function<std::optional<QImage>(QSize)>;

    BackgroundPicker(EditorViewModel& editor, WallpaperThumbnail thumbnail, QWidget* parent = nullptr);
    ~BackgroundPicker() override;

    const std::vector<BackgroundSwatch*>& swatches() const { return m_swatches; }
    BackgroundSwatch* wallpaperSwatch() const { return m_swatches.front(); }
    bool isLoadingWallpaper() const { return m_wallpaperJob.isRunning(); }
    void reloadWallpaper();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshSelection();
    void choose(const BackgroundStyle& style);

    EditorViewModel& m_editor;
    WallpaperThumbnail m_thumbnail;
    std::vector<BackgroundSwatch*> m_swatches;
    QFutureWatcher<std::optional<QImage>> m_wallpaperJob;
};

} // namespace pelorin

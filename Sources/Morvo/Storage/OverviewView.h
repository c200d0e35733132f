#pragma once
// The Overview section: a first-scan panel until a scan has succeeded, then three metric cards, the
// storage map with its navigation row and legend, and the largest files. It keeps no state of its
// own: it reads AppState, redraws the parts an AppState change touches, and turns every click into
// one call or assignment on AppState.

#include "Morvo/Kit/Theme.h"

#include <QWidget>

#include <vector>

class QLabel;
class QHBoxLayout;
class QProgressBar;
class QScrollArea;
class QVBoxLayout;

namespace morvo {

class AppState;
class FileRow;
class KitButton;
class Panel;
class PathText;
class StorageMapView;
class TextLabel;

// One metric card: caption, value, a short line under it and a small tinted symbol.
class MetricView : public QWidget {
    Q_OBJECT

public:
    MetricView(QString title, QString value, QString subtitle, QString symbol, AdaptiveColor color,
               QWidget* parent = nullptr);
    void setValue(const QString& value);
    QString title() const;
    QString value() const { return value_; }
    QString subtitle() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString value_;
    TextLabel* titleLabel_;
    QWidget* valueText_;
    TextLabel* subtitleLabel_;
};

class OverviewView : public QWidget {
    Q_OBJECT

public:
    explicit OverviewView(AppState& state, QWidget* parent = nullptr);

    // The parts, for the window and for tests.
    StorageMapView* storageMap() const { return map_; }
    QWidget* firstScanPanel() const;
    QWidget* metricsRow() const { return metrics_; }
    const std::vector<MetricView*>& metricViews() const { return metricViews_; }
    KitButton* parentButton() const { return parentButton_; }
    std::vector<KitButton*> breadcrumbButtons() const;
    std::vector<FileRow*> fileRows() const { return rows_; }
    // Dividers drawn between the largest-file rows.
    int dividerCount() const { return dividers_; }

private:
    void buildFirstScan(QVBoxLayout* content);
    void buildMetrics(QVBoxLayout* content);
    void buildStorageMap(QVBoxLayout* content);
    void buildLargestFiles(QVBoxLayout* content);

    void updateShape();
    void updateFirstScan();
    void updateMetrics();
    void updateMapPanel();
    void updateBreadcrumbs();
    void updateLargestFiles();
    void updateSelection();

    AppState& state_;
    QScrollArea* scroll_;
    TextLabel* subtitle_;

    Panel* firstScan_;
    TextLabel* firstScanHeading_;
    PathText* firstScanPath_;
    QWidget* scanningPart_;
    QProgressBar* progressBar_;
    TextLabel* filesFound_;
    TextLabel* bytesIndexed_;
    QWidget* idlePart_;

    QWidget* metrics_;
    std::vector<MetricView*> metricViews_;

    Panel* mapPanel_;
    TextLabel* mapSize_;
    KitButton* parentButton_;
    QHBoxLayout* breadcrumbLayout_;
    StorageMapView* map_;

    QWidget* largestFiles_;
    QVBoxLayout* listLayout_;
    std::vector<FileRow*> rows_;
    int dividers_ = 0;
};

} // namespace morvo

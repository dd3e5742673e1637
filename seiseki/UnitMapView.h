// The map of what is hard: the 50-sound table and the keyboard coloured by how often each kana or key was
// missed, and the weakest units with the key most often pressed instead and how they changed. A learner's
// page shows one learner's, the class page the kana the class misses most.
#pragma once

#include "UnitMap.h"

#include <QColor>
#include <QHash>
#include <QWidget>

class QLabel;
class QPainter;
class QTableWidget;

namespace seiseki {

// A unit's colour on the map: pale green when never missed, through yellow and orange to red from 30 %.
QColor MissColour(double missRate);
// The 50-sound table in `area`, each cell coloured by its unit's miss rate (white when not practised).
void PaintKanaMap(QPainter& painter, const QRectF& area, const QHash<QString, halvor::UnitSummary>& units);
// The keyboard of the finger drills in `area`, coloured the same way.
void PaintKeyboardMap(QPainter& painter, const QRectF& area, const QHash<QString, halvor::UnitSummary>& keys);

class UnitMapView : public QWidget {
    Q_OBJECT
public:
    enum class Scope { Learner, Class };
    explicit UnitMapView(Scope scope, QWidget* parent = nullptr);
    // The kana of the hiragana drill and the keys of the finger drills in the chosen period, with their
    // change since the period before.
    void setUnits(const QList<halvor::UnitChange>& kana, const QList<halvor::UnitChange>& keys);
    // The rows of the list of the weakest, as shown (for tests): unit, attempts, misses, wrong key, change.
    QStringList listedRows() const;

private:
    Scope scope_;
    QWidget* kanaMap_ = nullptr;
    QWidget* keyboardMap_ = nullptr;
    QLabel* lblKeyboard_ = nullptr;
    QTableWidget* tblWeakest_ = nullptr;
    QLabel* lblEmpty_ = nullptr;
};

} // namespace seiseki

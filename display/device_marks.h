// How a result shows what answered its test: a result a cache served stands out in its own
// colour, and every result's tip says why, or what the device's counters showed.
#pragma once

#include <QColor>

#include "common/device_check.h"

class QLabel;
class QTableWidgetItem;

// The colour of a result that a cache served: the label's text, the grid cell's background.
inline const QColor kCachedResultColour{255, 140, 0};
// The usual text colour of a result label (lime on black).
inline const QColor kResultLabelColour{0, 255, 0};
// The colour of a rate so far, while its test still runs: a dimmer green.
inline const QColor kLiveResultColour{0, 140, 0};

// Marks a result label (an empty check takes the mark away).
void Mark_Result_Label(QLabel* label, const Device_Check& check);
// Marks a result label as the rate so far of a test that still runs.
void Mark_Live_Label(QLabel* label);
// Marks a result cell of the grid.
void Mark_Result_Cell(QTableWidgetItem* cell, const Device_Check& check);

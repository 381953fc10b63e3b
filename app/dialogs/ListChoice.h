#pragma once
// A list of choices where the row that looks chosen is the chosen one.

class QListWidget;

// The view marks the row that gets the keyboard focus as current, which
// looks like a choice; from now on the current row is always the selected
// one, so Ok takes exactly what the list shows.
void keepCurrentRowSelected(QListWidget* list);

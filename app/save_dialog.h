// Where the windows' exports go: a save dialog that keeps the extension of the chosen filter,
// and the path offered for a new export file.
#pragma once

#include <QString>

class QWidget;

// A save dialog that adds the extension of the chosen filter to a name typed without one;
// empty when the user cancelled.
QString Ask_Save_File_By_Dialog(QWidget* parent, const QString& caption, const QString& suggested,
                                const QString& filters);

// The path offered for a new export file named name: in last_folder (the folder of the last
// export) when it is still there, else the user's documents, else the home folder.
QString Suggested_Export_Path(const QString& last_folder, const QString& name);

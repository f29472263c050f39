#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <string>

namespace zfe::gui {

// A list of the files of one folder whose names match a pattern ("*.dat", or
// several separated by ";"), without regard to case. Names are shown without
// their folder, sorted without regard to case; hidden files are left out. The
// list reads the folder when its folder or pattern is set and at each refresh,
// never on its own. Names are kept as the file system gives them: one that is
// not valid UTF-8 is shown with replacement characters and still selects its
// file.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    // The folder as given, with trailing separators taken off (a root keeps
    // its one). Reads the folder and clears the selection.
    void setFolder(const std::string& folder);
    std::string folder() const { return folder_; }

    // Reads the folder and clears the selection.
    void setPattern(const QString& pattern);
    QString pattern() const { return pattern_; }

    // Reads the folder again. The selected name stays selected while the file
    // is still there.
    void refresh();

    // Below 0 when nothing is selected.
    int selectedIndex() const;
    void setSelectedIndex(int index);
    // The selected entry's name as the file system spells it, or the empty text.
    std::string selectedFileName() const;

    // The names as shown.
    QStringList fileNames() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void readFolder(const QByteArray& keepSelected);

    std::string folder_;
    QString pattern_ = QStringLiteral("*.*");
};

}  // namespace zfe::gui

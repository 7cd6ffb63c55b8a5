// The data-location control: shows a folder path and lets the user choose another folder.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QUrl>
#include <QWidget>

namespace tolvane {

class PathControl : public QWidget {
    Q_OBJECT
public:
    explicit PathControl(QWidget* parent = nullptr);

    void setStringValue(const QString& path);
    QString stringValue() const;
    // The folder shown, as a file URL; empty when no path is shown.
    QUrl url() const;

    // Shows the chosen folder and reports the choice, as a choice in the folder dialog does.
    void choose(const QString& path);

signals:
    // Sent after the user has chosen a folder.
    void activated();

private:
    void chooseWithDialog();

    QLineEdit* m_path;
    QPushButton* m_chooseButton;
};

} // namespace tolvane

// The data-location control and its folder dialog.
#include "prefs/PathControl.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>

namespace tolvane {

PathControl::PathControl(QWidget* parent)
    : QWidget(parent), m_path(new QLineEdit(this)), m_chooseButton(new QPushButton(tr("Choose…"), this))
{
    m_path->setObjectName(QStringLiteral("pathField"));
    m_path->setReadOnly(true);
    m_path->setPlaceholderText(tr("No Tolvane data folder"));
    m_chooseButton->setObjectName(QStringLiteral("chooseButton"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_path, 1);
    layout->addWidget(m_chooseButton);
    connect(m_chooseButton, &QPushButton::clicked, this, &PathControl::chooseWithDialog);
}

void PathControl::setStringValue(const QString& path)
{
    m_path->setText(path);
    m_path->setCursorPosition(0);
}

QString PathControl::stringValue() const
{
    return m_path->text();
}

QUrl PathControl::url() const
{
    return m_path->text().isEmpty() ? QUrl() : QUrl::fromLocalFile(m_path->text());
}

void PathControl::choose(const QString& path)
{
    setStringValue(path);
    emit activated();
}

void PathControl::chooseWithDialog()
{
    // Qt's own dialog, so that it looks the same everywhere and a path can be typed into it.
    QFileDialog dialog(window(), tr("Choose the Tolvane data folder"),
                       stringValue().isEmpty() ? QDir::homePath() : stringValue());
    dialog.setObjectName(QStringLiteral("dataFolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    choose(QDir::cleanPath(dialog.selectedFiles().constFirst()));
}

} // namespace tolvane

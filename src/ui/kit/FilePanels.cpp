#include "ui/kit/FilePanels.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

FilePanels systemFilePanels()
{
    return
        [](QWidget *parent, const FilePanelRequest &request, std::function<void(QString)> chosen) {
            auto *dialog = new QFileDialog(parent, request.title);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setObjectName(u"filePanel"_s);
            if (request.kind == FilePanelRequest::Kind::folder) {
                dialog->setFileMode(QFileDialog::Directory);
                dialog->setOption(QFileDialog::ShowDirsOnly);
            } else {
                dialog->setFileMode(QFileDialog::ExistingFile);
                QStringList filters;
                if (!request.preferredSuffixes.isEmpty()) {
                    QStringList patterns;
                    for (const QString &suffix : request.preferredSuffixes)
                        patterns << u"*."_s + suffix;
                    filters << u"Windows programs ("_s + patterns.join(u' ') + u')';
                }
                filters << u"All files (*)"_s;
                dialog->setNameFilters(filters);
            }
            if (!request.message.isEmpty())
                dialog->setLabelText(QFileDialog::Accept, u"Choose"_s);
            QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                [chosen = std::move(chosen)](const QString &path) {
                    if (!path.isEmpty())
                        chosen(path);
                });
            dialog->open();
        };
}

#include "Morvo/Platform/FolderPanel.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>

namespace morvo {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

class DialogFolderPanel : public FolderPanel {
public:
    void begin(const FolderPanelOptions& options, std::function<void(std::optional<Url>)> completion) override {
        // Free-standing and non-modal, like a panel begun without a parent window.
        auto* dialog = new QFileDialog(nullptr, fromUtf8(options.title));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setOption(QFileDialog::DontUseNativeDialog, true);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        if (!options.canChooseFiles && options.canChooseDirectories) {
            dialog->setFileMode(QFileDialog::Directory);
            dialog->setOption(QFileDialog::ShowDirsOnly, true);
        } else {
            dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        }
        QDir::Filters filters = dialog->filter();
        if (options.showsHiddenFiles) filters |= QDir::Hidden;
        dialog->setFilter(filters);
        if (!options.prompt.empty()) dialog->setLabelText(QFileDialog::Accept, fromUtf8(options.prompt));
        if (!options.directory.path.empty())
            dialog->setDirectory(QFile::decodeName(QByteArray::fromStdString(options.directory.path)));
        if (!options.message.empty()) {
            if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
                auto* label = new QLabel(fromUtf8(options.message), dialog);
                label->setWordWrap(true);
                label->setObjectName("folder-panel-message");
                grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
            }
        }

        auto pending = std::make_shared<std::function<void(std::optional<Url>)>>(std::move(completion));
        auto finish = [pending](std::optional<Url> url) {
            if (!*pending) return;
            auto call = std::move(*pending);
            *pending = nullptr;
            call(std::move(url));
        };
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, finish](int result) {
            std::optional<Url> chosen;
            if (result == QDialog::Accepted) {
                const QStringList files = dialog->selectedFiles();
                if (!files.isEmpty()) chosen = Url::file(QFile::encodeName(files.first()).toStdString(), true);
            }
            finish(std::move(chosen));
        });
        dialog->open();
    }
};

} // namespace

std::shared_ptr<FolderPanel> makeDialogFolderPanel() { return std::make_shared<DialogFolderPanel>(); }

} // namespace morvo

#include "platform/SkinEngine.h"

#include "core/SkinRules.h"
#include "platform/QtText.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QWidget>

#include <algorithm>

static void initSkinResources() {
    Q_INIT_RESOURCE(skins);
}

namespace vardelo {
namespace {

const QString kInternalSkin = QStringLiteral("MacOS2");
constexpr qint64 kLargestSheet = 1 << 20; // a bigger "Options.dat" is no style sheet

QString readSheet(const QString& path) {
    QFile file(path);
    if (file.size() > kLargestSheet || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

SkinEngine::SkinEngine(const QString& programFolder, const QString& directory)
    : directory_(toQt(resolveSkinDirectory(toStd(directory), toStd(programFolder)))) {
    initSkinResources();
}

QStringList SkinEngine::listSkinNames() const {
    QStringList names{kInternalSkin};
    const QDir skins(directory_);
    if (skins.exists()) {
        const auto folders = skins.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QFileInfo& folder : folders) {
            if (!folder.fileName().startsWith(QLatin1Char('.')) &&
                QFileInfo::exists(folder.filePath() + QStringLiteral("/Options.dat")))
                names.push_back(folder.fileName());
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    return names;
}

void SkinEngine::setActive(bool on) {
    if (on == active_)
        return;
    active_ = on;
    if (on)
        load();
    else if (target_)
        target_->setStyleSheet(QString());
}

void SkinEngine::setSkinName(const QString& name) {
    name_ = name;
    if (active_)
        load();
}

QString SkinEngine::folderSkinSheet(const QString& name) const {
    if (name.isEmpty())
        return {};
    const QString folder = directory_ + QLatin1Char('/') + name;
    const QString path = folder + QStringLiteral("/Options.dat");
    if (!QFileInfo::exists(path))
        return {};
    return toQt(resolveSkinUrls(toStd(readSheet(path)), toStd(folder)));
}

void SkinEngine::load() {
    // A folder skin wins over the compiled-in one of the same name; a name
    // that is neither (or a folder skin that cannot be read) draws MacOS2.
    QString sheet = folderSkinSheet(name_);
    if (sheet.isEmpty()) {
        if (name_ != kInternalSkin)
            name_ = kInternalSkin;
        sheet = readSheet(QStringLiteral(":/skins/MacOS2/Options.dat"));
    }
    if (target_) {
        // Qt keeps the colours a control had when a sheet reached it and
        // gives them back when the sheet goes; a sheet laid over a sheet
        // would keep the old skin's colours for the system look. Only a
        // polished window gives them back: before it was first drawn, the
        // design skin's colours would stay under the stored skin.
        target_->ensurePolished();
        target_->setStyleSheet(QString());
        target_->setStyleSheet(sheet);
    }
}

} // namespace vardelo

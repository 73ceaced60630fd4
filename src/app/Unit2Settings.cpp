// The ten stored values: read at start-up in the table's order (a missing
// one is written with its default), written back at closing; the folder
// chooser; the settings check boxes and their tray menu mirrors.
#include "app/Unit2.h"
#include "core/SizeText.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"
#include "platform/SettingsStore.h"
#include "platform/SkinEngine.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QSpinBox>

namespace vardelo {
namespace {

std::string flagText(bool on) {
    return on ? "1" : "0";
}

// The menu item's click: its mark becomes the opposite of the box, then the
// box follows the mark (and its own handler copies the state back).
void mirrorFromMenu(QAction* item, QCheckBox* box) {
    item->setChecked(!box->isChecked());
    box->setChecked(item->isChecked());
}

} // namespace

void TForm1::loadSettings() {
    for (const SettingDef& def : settingsInReadOrder())
        loadSetting(def);
}

void TForm1::loadSetting(const SettingDef& def) {
    const std::optional<std::string> stored = services_.settings.read(def.readName);
    if (stored) {
        applySetting(def, *stored);
    } else {
        services_.settings.write(def.readName, def.kind == SettingKind::Text
                                                   ? toStd(services_.defaultTargetFolder)
                                                   : std::to_string(def.defaultNumber));
        applySettingDefault(def);
    }
    if (def.id == SettingId::AutomatikusLetoltes && auto_le->isChecked())
        autoStart();
}

void TForm1::applySetting(const SettingDef& def, const std::string& stored) {
    std::int64_t number = 0;
    if (def.kind != SettingKind::Text) {
        const auto parsed = parseStoredNumber(stored, def.kind);
        if (!parsed)
            throw SettingsError(invalidTypeMessage(def.readName));
        number = clampSetting(def, *parsed);
    }
    switch (def.id) {
    case SettingId::OsszesLetoltottDb:
        osszes_letoltott_db = number;
        showAllTimeCounters();
        break;
    case SettingId::OsszesKihagyottDb:
        osszes_kihagyott_db = number;
        showAllTimeCounters();
        break;
    case SettingId::OsszesLetoltottMeret:
        osszes_letoltott_meret = number;
        showAllTimeCounters();
        break;
    case SettingId::SkinEngedelyezve:
        skin_hasznalata->setChecked(number != 0);
        services_.skins.setActive(skin_hasznalata->isChecked());
        kinezet->setEnabled(skin_hasznalata->isChecked());
        break;
    case SettingId::Skin:
        skin_loading = true;
        kinezet->setCurrentIndex(number >= 0 && number < kinezet->count() ? static_cast<int>(number)
                                                                          : -1);
        if (kinezet->currentIndex() < 0)
            kinezet->setEditText(QString());
        services_.skins.setSkinName(kinezet->currentText());
        skin_loading = false;
        break;
    case SettingId::MentesHelye:
        Mentes_helye->setText(stored.empty() ? services_.defaultTargetFolder : toQt(stored));
        break;
    case SettingId::AutomatikusLetoltes:
        auto_le->setChecked(number != 0);
        break;
    case SettingId::Vagolap:
        vagolap->setChecked(number != 0);
        break;
    case SettingId::Ujraprobalkozasok:
        ujra->setValue(static_cast<int>(number));
        break;
    case SettingId::Elhalt:
        elhalt->setValue(static_cast<int>(number));
        break;
    }
}

void TForm1::applySettingDefault(const SettingDef& def) {
    if (def.id == SettingId::MentesHelye) {
        Mentes_helye->setText(services_.defaultTargetFolder);
        QDir().mkdir(services_.defaultTargetFolder); // one level; failure is no error
        return;
    }
    applySetting(def, std::to_string(def.defaultNumber));
}

void TForm1::storeSettings() {
    for (const SettingId id : settingsWriteOrder()) {
        const SettingDef& def = settingDef(id);
        services_.settings.write(def.writeName, settingValueToStore(id));
    }
}

std::string TForm1::settingValueToStore(SettingId id) const {
    switch (id) {
    case SettingId::OsszesLetoltottDb:
        return std::to_string(osszes_letoltott_db);
    case SettingId::OsszesKihagyottDb:
        return std::to_string(osszes_kihagyott_db);
    case SettingId::OsszesLetoltottMeret:
        return std::to_string(osszes_letoltott_meret);
    case SettingId::SkinEngedelyezve:
        return flagText(skin_hasznalata->isChecked());
    case SettingId::Skin:
        return std::to_string(kinezet->currentIndex());
    case SettingId::MentesHelye:
        return toStd(Mentes_helye->text());
    case SettingId::AutomatikusLetoltes:
        return flagText(auto_le->isChecked());
    case SettingId::Vagolap:
        return flagText(vagolap->isChecked());
    case SettingId::Ujraprobalkozasok:
        return std::to_string(ujra->value());
    case SettingId::Elhalt:
        return std::to_string(elhalt->value());
    }
    return {};
}

void TForm1::autoStart() {
    letoltve->clear();
    if (queue.hasHead())
        inditasClick();
}

void TForm1::Button4Click() {
    if (const auto folder = services_.dialogs.chooseFolder(QStringLiteral("Mentés helye")))
        Mentes_helye->setText(QDir::toNativeSeparators(*folder));
}

void TForm1::auto_leClick() {
    PM_auto_le->setChecked(auto_le->isChecked());
}
void TForm1::vagolapClick() {
    PM_vagolap->setChecked(vagolap->isChecked());
}
void TForm1::letoltes_utan_stopClick() {
    PM_letoltes_utan_stop->setChecked(letoltes_utan_stop->isChecked());
}

void TForm1::skin_hasznalataClick() {
    services_.skins.setActive(skin_hasznalata->isChecked());
    kinezet->setEnabled(services_.skins.active());
    PM_Skin->setChecked(skin_hasznalata->isChecked());
}

void TForm1::kinezetChange() {
    if (!skin_loading)
        services_.skins.setSkinName(kinezet->currentText());
}

void TForm1::listSkins() {
    const QSignalBlocker quiet(kinezet); // filling the list is no choice of the user's
    kinezet->clear();
    kinezet->addItems(services_.skins.listSkinNames());
    kinezet->setCurrentIndex(-1);
    kinezet->setEditText(QStringLiteral("kinezet"));
}

void TForm1::PM_auto_leClick() {
    mirrorFromMenu(PM_auto_le, auto_le);
}
void TForm1::PM_vagolapClick() {
    mirrorFromMenu(PM_vagolap, vagolap);
}
void TForm1::PM_SkinClick() {
    mirrorFromMenu(PM_Skin, skin_hasznalata);
}
void TForm1::PM_letoltes_utan_stopClick() {
    mirrorFromMenu(PM_letoltes_utan_stop, letoltes_utan_stop);
}

std::string TForm1::sizeTextOf(std::int64_t bytes) const {
    return sizeText(bytes, toStd(QLocale().decimalPoint()));
}

void TForm1::showAllTimeCounters() {
    oldb->setText(QString::number(osszes_letoltott_db));
    olm->setText(toQt(sizeTextOf(osszes_letoltott_meret)));
    okdb->setText(QString::number(osszes_kihagyott_db));
}

void TForm1::showCurrentCounters() {
    jldb->setText(QString::number(jelenlegi_letoltott_db));
    jlm->setText(toQt(sizeTextOf(jelenlegi_letoltott_meret)));
    jkdb->setText(QString::number(jelenlegi_kihagyott_db));
}

void TForm1::stat_null1Click() {
    jelenlegi_letoltott_db = 0;
    jelenlegi_letoltott_meret = 0;
    jelenlegi_kihagyott_db = 0;
    showCurrentCounters();
}

} // namespace vardelo

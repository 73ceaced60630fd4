// The stored values: read at start-up in the table's order (a missing
// one is written with its default), written back at closing through one
// table of bindings to their controls and counters; the folder chooser; the
// settings check boxes and their tray menu mirrors.
#include "app/SettingBinding.h"
#include "app/Unit2.h"
#include "core/SizeText.h"
#include "platform/Diagnostics.h"
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
#include <QTimeEdit>

#include <algorithm>

namespace vardelo {
namespace {

const SettingBinding& bindingOf(const std::vector<SettingBinding>& bindings, SettingId id) {
    return *std::find_if(bindings.begin(), bindings.end(),
                         [id](const SettingBinding& binding) { return binding.id == id; });
}

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

std::vector<SettingBinding> TForm1::settingBindings() {
    const auto flag = [](QCheckBox* box) {
        return SettingBinding::Apply{
            [box](std::int64_t number, const std::string&) { box->setChecked(number != 0); }};
    };
    const auto flagOf = [](QCheckBox* box) { return [box] { return flagText(box->isChecked()); }; };
    const auto spin = [](QSpinBox* box) {
        return SettingBinding::Apply{[box](std::int64_t number, const std::string&) {
            box->setValue(static_cast<int>(number));
        }};
    };
    const auto spinOf = [](QSpinBox* box) {
        return [box] { return std::to_string(box->value()); };
    };
    // Times of day are stored as minutes after midnight.
    const auto timeOfDay = [](QTimeEdit* edit) {
        return SettingBinding::Apply{[edit](std::int64_t minutes, const std::string&) {
            edit->setTime(QTime(static_cast<int>(minutes / 60), static_cast<int>(minutes % 60)));
        }};
    };
    const auto timeOfDayOf = [](QTimeEdit* edit) {
        return [edit] { return std::to_string(edit->time().hour() * 60 + edit->time().minute()); };
    };
    const auto counter = [this](AllTimeCount which) {
        return SettingBinding::Apply{[this, which](std::int64_t number, const std::string&) {
            session_->restoreAllTimeCount(which, number);
            showAllTimeCounters();
        }};
    };
    const auto counterOf = [this](AllTimeCount which) {
        return [this, which] { return std::to_string(statistics().allTime(which)); };
    };

    return {
        {SettingId::OsszesLetoltottDb, counter(AllTimeCount::Downloaded),
         counterOf(AllTimeCount::Downloaded)},
        {SettingId::OsszesKihagyottDb, counter(AllTimeCount::Skipped),
         counterOf(AllTimeCount::Skipped)},
        {SettingId::OsszesLetoltottMeret, counter(AllTimeCount::DownloadedBytes),
         counterOf(AllTimeCount::DownloadedBytes)},
        {SettingId::SkinEngedelyezve,
         [this](std::int64_t number, const std::string&) {
             skin_hasznalata->setChecked(number != 0);
             services_.skins.setActive(skin_hasznalata->isChecked());
             kinezet->setEnabled(skin_hasznalata->isChecked());
         },
         flagOf(skin_hasznalata)},
        {SettingId::Skin,
         [this](std::int64_t number, const std::string&) { applySkinIndex(number); },
         [this] { return std::to_string(kinezet->currentIndex()); }},
        {SettingId::MentesHelye,
         [this](std::int64_t, const std::string& text) {
             Mentes_helye->setText(text.empty() ? services_.defaultTargetFolder : toQt(text));
         },
         [this] { return toStd(Mentes_helye->text()); }},
        {SettingId::AutomatikusLetoltes, flag(auto_le), flagOf(auto_le)},
        {SettingId::Vagolap, flag(vagolap), flagOf(vagolap)},
        {SettingId::Ujraprobalkozasok, spin(ujra), spinOf(ujra)},
        {SettingId::Elhalt, spin(elhalt), spinOf(elhalt)},
        {SettingId::SebessegKorlat, spin(Sebesseg_korlat), spinOf(Sebesseg_korlat)},
        {SettingId::Idoablak, flag(Idoablak), flagOf(Idoablak)},
        {SettingId::IdoablakKezdete, timeOfDay(Idoablak_kezdete), timeOfDayOf(Idoablak_kezdete)},
        {SettingId::IdoablakVege, timeOfDay(Idoablak_vege), timeOfDayOf(Idoablak_vege)},
        {SettingId::CaptchaIdo, spin(Captcha_ido), spinOf(Captcha_ido)},
        {SettingId::CaptchaEseten,
         [this](std::int64_t number, const std::string&) {
             Captcha_eseten->setCurrentIndex(static_cast<int>(number));
         },
         [this] { return std::to_string(Captcha_eseten->currentIndex()); }},
        {SettingId::Egyszerre, spin(Egyszerre), spinOf(Egyszerre)},
        {SettingId::CsomagMappa, flag(csomag_mappa), flagOf(csomag_mappa)},
        {SettingId::ReszekTorlese, flag(reszek_torlese), flagOf(reszek_torlese)},
        {SettingId::FuttatasCsomagUtan,
         [this](std::int64_t, const std::string& text) {
             futtatas_csomag_utan->setText(toQt(text));
         },
         [this] { return toStd(futtatas_csomag_utan->text()); }},
    };
}

void TForm1::rememberStartingSettings() {
    for (const SettingBinding& binding : settingBindings())
        settingsRun_.rememberStartingValue(binding.id, binding.valueToStore());
}

// The settings in their read order: up to auto-start's own, or the rest.
void TForm1::loadSettings(SettingsPart part) {
    const std::vector<SettingBinding> bindings = settingBindings();
    const auto& order = settingsInReadOrder();
    const auto rest = std::find_if(order.begin(), order.end(),
                                   [](const SettingDef& def) {
                                       return def.id == SettingId::AutomatikusLetoltes;
                                   }) +
                      1;
    const bool first = part == SettingsPart::UpToAutoStart;
    for (auto def = first ? order.begin() : rest; def != (first ? rest : order.end()); ++def)
        loadSetting(*def, bindingOf(bindings, def->id));
}

void TForm1::loadSetting(const SettingDef& def, const SettingBinding& binding) {
    const std::optional<std::string> stored = services_.settings.read(def.readName);
    if (stored) {
        if (def.kind == SettingKind::Text) {
            binding.apply(0, *stored);
        } else {
            const auto parsed = parseStoredNumber(*stored, def.kind);
            if (!parsed && !def.textReadsAsDefault)
                throw SettingsError(invalidTypeMessage(def.readName));
            binding.apply(clampSetting(def, parsed.value_or(def.defaultNumber)), *stored);
        }
    } else if (def.id == SettingId::MentesHelye) {
        const std::string folder = toStd(services_.defaultTargetFolder);
        services_.settings.write(def.readName, folder);
        binding.apply(0, folder);
        QDir().mkdir(services_.defaultTargetFolder); // one level; failure is no error
    } else if (def.kind == SettingKind::Text) {
        services_.settings.write(def.readName, {});
        binding.apply(0, {});
    } else {
        services_.settings.write(def.readName, std::to_string(def.defaultNumber));
        binding.apply(def.defaultNumber, {});
    }
    settingsRun_.markRead(def.id);
}

void TForm1::applySkinIndex(std::int64_t index) {
    skin_loading = true;
    kinezet->setCurrentIndex(index >= 0 && index < kinezet->count() ? static_cast<int>(index) : -1);
    if (kinezet->currentIndex() < 0)
        kinezet->setEditText(QString());
    services_.skins.setSkinName(kinezet->currentText());
    skin_loading = false;
}

// A value start-up never reached keeps what is stored unless the user changed
// it; writing the window's starting values would replace the user's settings.
void TForm1::storeSettings() {
    storeSettings(settingsWriteOrder());
}

// The all-time counters go to the store with each outcome, so a program
// the desktop ends keeps them; a store that fails now fails again, and says
// so, at closing.
void TForm1::storeAllTimeCounters() {
    constexpr SettingId kCounters[] = {SettingId::OsszesLetoltottDb, SettingId::OsszesKihagyottDb,
                                       SettingId::OsszesLetoltottMeret};
    try {
        storeSettings(kCounters);
    } catch (const SettingsError& error) {
        qCWarning(lcRecords).noquote() << "the all-time counters were not stored:" << error.what();
    }
}

void TForm1::storeSettings(std::span<const SettingId> ids) {
    const std::vector<SettingBinding> bindings = settingBindings();
    for (const SettingId id : ids) {
        const SettingDef& def = settingDef(id);
        const auto storedNow = [&]() -> std::optional<std::string> {
            try {
                return services_.settings.read(def.writeName);
            } catch (const SettingsError&) {
                return "?"; // unreadable: no number, so it stays as it is
            }
        };
        const std::string current = bindingOf(bindings, id).valueToStore();
        const auto value = settingsRun_.valueToWrite(id, current, storedNow);
        if (!value)
            continue;
        // A value already stored is not written again: a full disk then
        // fails only on what has changed.
        if (storedNow() != value)
            services_.settings.write(def.writeName, *value);
        settingsRun_.noteStored(id, current);
    }
}

void TForm1::autoStart() {
    if (!auto_le->isChecked())
        return;
    letoltve->clear();
    if (queue().hasHead())
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
    oldb->setText(QString::number(statistics().osszes_letoltott_db));
    olm->setText(toQt(sizeTextOf(statistics().osszes_letoltott_meret)));
    okdb->setText(QString::number(statistics().osszes_kihagyott_db));
}

void TForm1::showCurrentCounters() {
    jldb->setText(QString::number(statistics().jelenlegi_letoltott_db));
    jlm->setText(toQt(sizeTextOf(statistics().jelenlegi_letoltott_meret)));
    jkdb->setText(QString::number(statistics().jelenlegi_kihagyott_db));
}

void TForm1::stat_null1Click() {
    session_->resetCurrentRun();
    showCurrentCounters();
}

} // namespace vardelo

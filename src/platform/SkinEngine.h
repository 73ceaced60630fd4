#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace vardelo {

// Draws the main window and its skinnable controls in a named skin. A skin is
// a Qt style sheet: "Options.dat" in a folder of the skin directory, or the
// one compiled into the program ("MacOS2"). Each skinnable control names its
// section in the dynamic property "skinSection" ("FORM", "BUTTON",
// "CHECKBOX", "EDIT", "COMBOBOX"), which a sheet selects on; labels take
// their colour from the sheet.
class SkinEngine {
  public:
    // `directory` is resolved against `programFolder` ("./Skins" is the
    // folder "Skins" beside the program).
    explicit SkinEngine(const QString& programFolder,
                        const QString& directory = QStringLiteral("./Skins"));

    void setTarget(QWidget* window) { target_ = window; }

    // Every skin name: the compiled-in one and each folder holding
    // "Options.dat", sorted together without regard to case under the
    // user's locale; duplicates stay.
    QStringList listSkinNames() const;

    // On: loads the skin of the held name and draws the window with it; off:
    // every control returns to the system's look.
    void setActive(bool on);
    bool active() const { return active_; }

    // Keeps the name; loads the skin at once while the engine is on.
    void setSkinName(const QString& name);
    QString skinName() const { return name_; }

  private:
    void load();
    QString folderSkinSheet(const QString& name) const;

    QString directory_;
    QString name_ = QStringLiteral("WMP11");
    bool active_ = false;
    QWidget* target_ = nullptr;
};

} // namespace vardelo

#include "app/InfoTexts.h"

namespace vardelo {

QString contactText() {
    return QStringLiteral("Vardelo developers <vardelo@users.noreply.github.com>");
}

QString importantText() {
    return QStringLiteral(
               "A Vardelo még fejlesztés alatt áll, ezért előfordulhatnak benne hibák.\n"
               "\n"
               "Ha tetszik és hasznosnak találod, kérlek látogass el a weblapomra: ezzel "
               "támogatod a program fejlesztését.\n"
               "\n"
               "Hiba bejelentésekor mindig írd meg a program verziószámát (1.14), és azt, hogy "
               "mit csináltál, amikor a hiba történt.\n"
               "\n"
               "Ötleteidet, kéréseidet a weblapon található fórumban várom.\n"
               "\n"
               "Köszönöm, hogy a Vardelót használod!\n"
               "\n"
               "Készítette: a Vardelo fejlesztői — ") +
           contactText();
}

QString changeHistoryText() {
    return QStringLiteral("1.14\n"
                          "- Vágólap figyelő: a kimásolt linkek maguktól a listába kerülnek\n"
                          "- Buborék üzenet a tálcán a hozzáadott linkekről\n"
                          "- Skinek használata, a skin választás megmarad\n"
                          "- Hibás linkek ujratöltése a naplóból\n"
                          "\n"
                          "1.13\n"
                          "- Elhalt link utáni várakozás beállítható\n"
                          "- Letöltés után megáll kapcsoló\n"
                          "- Letöltési statisztika (jelenlegi és összes)\n"
                          "- Lista megnyitása fájlból és mentése fájlba\n");
}

QString homePageAddress() {
    return QStringLiteral("mailto:vardelo@users.noreply.github.com");
}

} // namespace vardelo

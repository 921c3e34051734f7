// Czech, Hungarian, Polish, Romanian, Slovak and Slovenian rows of the
// language table. Slots 8 to 11 (the layout names) stay empty: the layouts
// are named the same in every language, so the English text shows.
#include "app/core/language_rows.h"

namespace kestrel::app::language_rows {

using namespace std::string_view_literals;

const LanguageEntry czech = {
    0x0405,
    L"Czech (čeština)"sv,
    {{
        L"Zdroj:"sv, L"Cíl:"sv, L"Jmenovka:"sv, L"Systém souborů:"sv, L"Spustit"sv,
        L"Vyberte nebo sem přetáhněte složku"sv, L"Vyberte výstupní soubor ISO"sv,
        L"Jmenovka svazku, 0 až 128 znaků"sv,
        {}, {}, {}, {},
        L"&Jazyk (Language)"sv,
        L"&Integrovat do místní nabídky prostředí"sv,
        L"Povolit &více instancí"sv,
        L"Po dokončení &zobrazit v Průzkumníku"sv,
        L"Po dokončení &ukončit"sv,
        L"Vždy &navrchu"sv,
        L"&Překlad"sv,
        L"Nahlásit p&roblém"sv,
        L"Příkazový řá&dek"sv,
        L"&O programu Kestrel..."sv,
        L"&Motiv"sv, L"&Světlý"sv, L"&Tmavý"sv, L"Po&dle systému"sv,
        L"'%s' již existuje.\n\nChcete jej nahradit?"sv,
        L"Soubory ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel vytvoří ze složky obraz disku ISO 9660, UDF 1.02 nebo UDF 2.50, "
        L"včetně složek s filmy DVD-Video a Blu-ray (i 3D).\n"
        L"Je to svobodný software poskytovaný bez jakékoli záruky.\n"
        L"Překladatel: projekt Kestrel"sv,
    }},
};

const LanguageEntry hungarian = {
    0x040E,
    L"Hungarian (magyar)"sv,
    {{
        L"Forrás:"sv, L"Cél:"sv, L"Címke:"sv, L"Fájlrendszer:"sv, L"Indítás"sv,
        L"Válasszon ki vagy húzzon ide egy mappát"sv, L"Válassza ki a kimeneti ISO-fájlt"sv,
        L"Kötetcímke, 0–128 karakter"sv,
        {}, {}, {}, {},
        L"&Nyelv (Language)"sv,
        L"&Beépülés a helyi menübe"sv,
        L"&Több példány engedélyezése"sv,
        L"&Megjelenítés az Intézőben befejezéskor"sv,
        L"Be&zárás befejezéskor"sv,
        L"Mindig &felül"sv,
        L"Fo&rdítás"sv,
        L"&Hibák bejelentése"sv,
        L"&Parancssor"sv,
        L"&A Kestrel névjegye..."sv,
        L"Té&ma"sv, L"&Világos"sv, L"&Sötét"sv, L"&Rendszer"sv,
        L"'%s' már létezik.\n\nLe szeretné cserélni?"sv,
        L"ISO-fájlok (*.iso)\0*.iso\0\0"sv,
        L"A Kestrel egy mappából ISO 9660, UDF 1.02 vagy UDF 2.50 lemezképet készít, "
        L"DVD-Video és Blu-ray filmmappákból is (3D-ben is).\n"
        L"Szabad szoftver, mindenféle garancia nélkül.\n"
        L"Fordító: a Kestrel projekt"sv,
    }},
};

const LanguageEntry polish = {
    0x0415,
    L"Polish (Polski)"sv,
    {{
        L"Źródło:"sv, L"Cel:"sv, L"Etykieta:"sv, L"System plików:"sv, L"Start"sv,
        L"Wybierz lub przeciągnij tutaj folder"sv, L"Wybierz wyjściowy plik ISO"sv,
        L"Etykieta woluminu, od 0 do 128 znaków"sv,
        {}, {}, {}, {},
        L"&Język (Language)"sv,
        L"&Integruj z menu kontekstowym powłoki"sv,
        L"Zezwalaj na &wiele wystąpień"sv,
        L"Po zakończeniu &pokaż w Eksploratorze"sv,
        L"Po zakończeniu &zamknij"sv,
        L"Zawsze na wierzc&hu"sv,
        L"&Tłumaczenie"sv,
        L"Zgłoś p&roblem"sv,
        L"Wiersz pole&ceń"sv,
        L"&O programie Kestrel..."sv,
        L"&Motyw"sv, L"&Jasny"sv, L"&Ciemny"sv, L"&Systemowy"sv,
        L"'%s' już istnieje.\n\nCzy chcesz go zastąpić?"sv,
        L"Pliki ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel tworzy z folderu obraz dysku ISO 9660, UDF 1.02 lub UDF 2.50, "
        L"także z folderów filmów DVD-Video i Blu-ray (również 3D).\n"
        L"To wolne oprogramowanie, udostępniane bez żadnej gwarancji.\n"
        L"Tłumacz: projekt Kestrel"sv,
        L"Nie można utworzyć obrazu."sv,
        L"Wybrany system plików jest nieprawidłowy."sv,
        L"Nie można otworzyć folderu źródłowego '%s'."sv,
        L"Nie można wyświetlić zawartości folderu '%s'."sv,
        L"Nie można sprawdzić elementu '%s'."sv,
        L"Nie można otworzyć pliku '%s'."sv,
        L"Odczyt pliku '%s' nie powiódł się."sv,
        L"Plik '%s' skrócił się podczas tworzenia obrazu."sv,
        L"Folder '%s' jest łączem do własnego drzewa i nie może trafić do obrazu."sv,
        L"Nie można utworzyć pliku obrazu '%s'."sv,
        L"Zapis pliku obrazu '%s' nie powiódł się. Czy dysk jest pełny?"sv,
        L"Nie można przenieść gotowego obrazu do '%s'."sv,
        L"Za mało pamięci do utworzenia obrazu."sv,
        L"Źródło zawiera więcej folderów, niż wolumin ISO 9660 może ponumerować. Wybierz system plików UDF."sv,
        L"Plik '%s' jest za duży dla wybranego systemu plików."sv,
        L"Obraz przekroczyłby rozmiar, który obraz dysku może zaadresować."sv,
        L"Błąd wewnętrzny: struktura nie została zapisana w zaplanowanym miejscu. Obraz nie został zachowany."sv,
        L"Tworzenie obrazu zostało anulowane."sv,
        L"Komunikat systemu Windows: %s"sv,
        L"Obraz został utworzony, z ostrzeżeniami:"sv,
        L"Plik '%s' urósł podczas tworzenia obrazu; zapisano jego początkowy rozmiar."sv,
        L"Nazwa '%s' była za długa dla systemu plików i została skrócona."sv,
        L"Nazwa '%s' pokryła się z inną nazwą w obrazie i została zmieniona na unikatową."sv,
        L"'%s' nie jest zwykłym plikiem (potok, gniazdo lub urządzenie) i został pominięty."sv,
        L"Łącze '%s' prowadzi donikąd i zostało pominięte."sv,
        L"... i jeszcze %s."sv,
        L"Ta ścieżka jest za długa dla programu:\n\n%s"sv,
    }},
};

const LanguageEntry romanian = {
    0x0418,
    L"Romanian (România)"sv,
    {{
        L"Sursă:"sv, L"Destinație:"sv, L"Etichetă:"sv, L"Sistem de fișiere:"sv, L"Pornește"sv,
        L"Selectați sau trageți aici un dosar"sv, L"Selectați fișierul ISO de ieșire"sv,
        L"Eticheta volumului, între 0 și 128 de caractere"sv,
        {}, {}, {}, {},
        L"&Limbă (Language)"sv,
        L"&Integrare în meniul contextual al shell-ului"sv,
        L"Permite &mai multe instanțe"sv,
        L"&Afișează în Explorer la final"sv,
        L"În&chide la final"sv,
        L"Mereu dea&supra"sv,
        L"&Traducere"sv,
        L"&Raportează probleme"sv,
        L"Linie de c&omandă"sv,
        L"&Despre Kestrel..."sv,
        L"T&emă"sv, L"&Luminoasă"sv, L"Înt&unecată"sv, L"&Sistem"sv,
        L"'%s' există deja.\n\nDoriți să îl înlocuiți?"sv,
        L"Fișiere ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel creează dintr-un dosar o imagine de disc ISO 9660, UDF 1.02 sau UDF 2.50, "
        L"inclusiv din dosare de filme DVD-Video și Blu-ray (și 3D).\n"
        L"Este software liber, oferit fără nicio garanție.\n"
        L"Traducător: proiectul Kestrel"sv,
    }},
};

const LanguageEntry slovak = {
    0x041B,
    L"Slovak (Slovenčina)"sv,
    {{
        L"Zdroj:"sv, L"Cieľ:"sv, L"Menovka:"sv, L"Systém súborov:"sv, L"Spustiť"sv,
        L"Vyberte alebo sem presuňte priečinok"sv, L"Vyberte výstupný súbor ISO"sv,
        L"Menovka zväzku, 0 až 128 znakov"sv,
        {}, {}, {}, {},
        L"&Jazyk (Language)"sv,
        L"&Integrovať do kontextovej ponuky prostredia"sv,
        L"Povoliť &viac inštancií"sv,
        L"Po dokončení &zobraziť v Prieskumníkovi"sv,
        L"Po dokončení &ukončiť"sv,
        L"Vždy &navrchu"sv,
        L"&Preklad"sv,
        L"Nahlásiť p&roblém"sv,
        L"Príkazový riad&ok"sv,
        L"&O programe Kestrel..."sv,
        L"&Motív"sv, L"&Svetlý"sv, L"&Tmavý"sv, L"Po&dľa systému"sv,
        L"'%s' už existuje.\n\nChcete ho nahradiť?"sv,
        L"Súbory ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel vytvorí z priečinka obraz disku ISO 9660, UDF 1.02 alebo UDF 2.50, "
        L"vrátane priečinkov s filmami DVD-Video a Blu-ray (aj 3D).\n"
        L"Je to slobodný softvér poskytovaný bez akejkoľvek záruky.\n"
        L"Prekladateľ: projekt Kestrel"sv,
    }},
};

const LanguageEntry slovenian = {
    0x0424,
    L"Slovenian (Slovenščina)"sv,
    {{
        L"Vir:"sv, L"Cilj:"sv, L"Oznaka:"sv, L"Datotečni sistem:"sv, L"Začni"sv,
        L"Izberite ali sem povlecite mapo"sv, L"Izberite izhodno datoteko ISO"sv,
        L"Oznaka nosilca, od 0 do 128 znakov"sv,
        {}, {}, {}, {},
        L"&Jezik (Language)"sv,
        L"&Vključi v priročni meni lupine"sv,
        L"Dovoli več &primerkov"sv,
        L"Po končanju pri&kaži v Raziskovalcu"sv,
        L"Po končanju &zapri"sv,
        L"Vedno na vr&hu"sv,
        L"P&revod"sv,
        L"&Sporoči težave"sv,
        L"&Ukazna vrstica"sv,
        L"&O programu Kestrel..."sv,
        L"&Tema"sv, L"&Svetla"sv, L"&Temna"sv, L"S&istemska"sv,
        L"'%s' že obstaja.\n\nAli jo želite zamenjati?"sv,
        L"Datoteke ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel iz mape ustvari slikovno datoteko diska ISO 9660, UDF 1.02 ali UDF 2.50, "
        L"tudi iz map s filmi DVD-Video in Blu-ray (tudi 3D).\n"
        L"Je prosto programje brez kakršnega koli jamstva.\n"
        L"Prevajalec: projekt Kestrel"sv,
    }},
};

}  // namespace kestrel::app::language_rows

#include "core/Messages.h"

#include "core/Text.h"

// The texts are written in UTF-8 here and converted to Windows-1250 once, on first use.
#define VANTREL_TEXT(name, utf8)                                                                   \
    const std::string& name() {                                                                    \
        static const std::string text = utf8ToCp1250(utf8);                                        \
        return text;                                                                               \
    }

VANTREL_TEXT(msgConnectionTestOk, "Test připojení proběhl úspěšně.")
VANTREL_TEXT(msgConnectionTestFailed, "Test připojení selhal.")
VANTREL_TEXT(msgConnectFailed, "Připojení na datový zdroj selhalo, zkontrolujte prosím nastavení.")
VANTREL_TEXT(msgTablesDropped, "Testovací tabulky byly smazány.")
VANTREL_TEXT(msgTablesCreated, "Testovací tabulky byly vytvořeny.")
VANTREL_TEXT(msgTablesFilled, "Testovací tabulky byly naplněny zkušebními daty.")
VANTREL_TEXT(msgTablesEmptied, "Testovací tabulky byly vyprázdněny.")
VANTREL_TEXT(msgConflictTypeSameRow, "Bude proveden výběr dvou množin dat, kde obě budou obsahovat "
                                     "stejný řádek a ten se pokusíme změnit v obou množinách.")
VANTREL_TEXT(msgConflictTypeRowInSet,
             "Bude proveden výběr dvou množin dat, z nichž jedna bude obsahovat několik řádků a "
             "druhá bude obsahovat jen jeden řádek, který je i v druhé množině. Tento společný "
             "řádek se pokusíme se změnit v obou množinách.")
VANTREL_TEXT(msgTestFinished, "Test byl dokončen")
VANTREL_TEXT(msgTablesEmptyOrMissing, "Tabulky jsou prázdné nebo neexistují. Pro běh tohoto testu "
                                      "je potřeba nejprve tabulky naplnit zkušebními daty.")
VANTREL_TEXT(msgNotConnected, "Komunikátor není připojen k datovému zdroji.")
VANTREL_TEXT(msgUnprepareFailed, "Chyba funkce unprepareTableForBrowsing.")
VANTREL_TEXT(msgCellError, "Error")

VANTREL_TEXT(opConnect, "Připojení k datovému zdroji")
VANTREL_TEXT(opDisconnect, "Odpojení od datového zdroje")
VANTREL_TEXT(opCanCreateTables, "Test na schopnost vytvoření testovacích tabulek")
VANTREL_TEXT(opCanDropTables, "Test na schopnost zrušení testovacích tabulek")
VANTREL_TEXT(opIsReadOnly, "Testování, zda je datový zdroj pouze pro čtení")
VANTREL_TEXT(opCreateTables, "Vytvoření testovacích tabulek")
VANTREL_TEXT(opDropTables, "Zrušení testovacích tabulek")
VANTREL_TEXT(opTablesExist, "Test na existenci testovacích tabulek")
VANTREL_TEXT(opGenerateData, "Generování zkušebních dat")
VANTREL_TEXT(opClearData, "Mazání dat z tabulek")
VANTREL_TEXT(opDataExist, "Test na existenci dat v testovacích tabulkách")
VANTREL_TEXT(opTestConcurrentEdit, "Test konfliktu současné editace z více vláken")
VANTREL_TEXT(opListErrorMessages, "Výpis chybových hlášení")
VANTREL_TEXT(opPrepareTableForBrowsing, "Předpřipravení tabulky pro prohlížení")
VANTREL_TEXT(opGetDataForCell, "Získání dat pro buňku")
VANTREL_TEXT(opUnprepareTableForBrowsing, "Uvolnění zdrojů použitých na předpřipravení tabulky")
VANTREL_TEXT(opGetInfo, "Získání informací o použité databázové vrstvě a ovladači")

VANTREL_TEXT(litDurationFormat, "h:nn:ss:zzz")
VANTREL_TEXT(litNameSeparator, ": ")
VANTREL_TEXT(litUnknown, "Unknown")
VANTREL_TEXT(litCountFormat, "# %d")
VANTREL_TEXT(litSettingsFile, ".\\Options.ini")
VANTREL_TEXT(litSectionGeneral, "General")
VANTREL_TEXT(litKeyDriver, "Driver")
VANTREL_TEXT(litKeyConnectionString, "ConnectionString")

#undef VANTREL_TEXT

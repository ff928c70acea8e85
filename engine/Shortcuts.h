// Shell links on the user's desktop and in the all-users Programs menu.
#pragma once
#include <windows.h>

class CInstallTransaction;

// A link named lpszName on the user's desktop to lpszTarget; an older one is replaced (and
// kept by pTransaction, when given, until the install ends). TRUE when the link was saved.
BOOL CreateDesktopShortcut(LPCWSTR lpszTarget, LPCWSTR lpszName, CInstallTransaction* pTransaction = nullptr);
void DeleteDesktopShortcut(LPCWSTR lpszName);
// A link lpszLinkName in the all-users Programs group lpszGroup (created when missing) to
// lpszTarget with optional arguments. TRUE when the link was saved.
BOOL CreateProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszTarget, LPCWSTR lpszLinkName, LPCWSTR lpszArguments,
                            CInstallTransaction* pTransaction = nullptr);
// Deletes a link of the Programs group, and with bRemoveFolder the group folder when empty.
void DeleteProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszLinkName, BOOL bRemoveFolder);
// Names in the transaction's plan the links and the Programs group that the install's
// shortcuts of the application lpszAppName write.
void PlanShortcuts(CInstallTransaction& transaction, LPCWSTR lpszAppName);
// TRUE when every shortcut path of the application lpszAppName fits in MAX_PATH; reports
// "AppName" otherwise.
BOOL CheckShortcutPaths(LPCWSTR lpszAppName);

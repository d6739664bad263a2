// The two registry records of an installation: the install record under
// HKEY_CURRENT_USER\Software\<CompanyName>\<GameDir> and the uninstall record under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<GameDir>.
#pragma once

// 1 when every value was set and the key flushed; the first failing step skips
// the rest and values set before it stay.
int WriteUserRecord();
int WriteUninstallRecord();

// Deletes the keys that this process created for the records (and the company
// key when it created that too); keys that existed before are left alone.
void RemoveCreatedRecords();

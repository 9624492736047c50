#pragma once
// Autostart entries: values of the per-user Run key
// HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run in the registry store, always
// opened in the native (64-bit) view.

#include <string>

// Stores `command` as the REG_SZ value `name`, creating the key when missing.
bool SetAutoStart(const std::wstring& name, const std::wstring& command);
// True when the value `name` is a string equal to `command` (the key is created when missing).
bool IsAutoStart(const std::wstring& name, const std::wstring& command);
// Deletes the value; true whether or not it was there, false only when the key cannot be opened.
bool RemoveAutoStart(const std::wstring& name);

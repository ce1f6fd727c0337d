// Host stand-in for the part of the Windows API that the library calls.
//
// Only what the library uses is declared here, with the Windows names, types
// and constants, so that the library's sources compile unchanged on the host.
// The functions are answered by the in-memory registry and the code-page
// helpers of this folder (see winhost/system.h).
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK

typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef LONG LSTATUS;
typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char CHAR;
typedef char16_t WCHAR;  // UTF-16 code unit, as on Windows
typedef std::size_t SIZE_T;
typedef std::uintptr_t ULONG_PTR;
typedef void* LPVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef const CHAR* LPCCH;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* LPCWCH;
typedef DWORD REGSAM;

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005u)

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_INVALID_HANDLE 6
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BAD_PATHNAME 161
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_KEY_DELETED 1018

#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define CP_ACP 0

// advapi32
LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                             LPSTR className, LPDWORD classChars, PFILETIME lastWriteTime);
LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataBytes);
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataBytes);
LSTATUS WINAPI RegCloseKey(HKEY key);

// kernel32
int WINAPI lstrlenA(LPCSTR s);
int WINAPI lstrlenW(LPCWSTR s);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH src, int srcBytes, LPWSTR dest,
                               int destUnits);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH src, int srcUnits, LPSTR dest,
                               int destBytes, LPCCH defaultChar, LPBOOL usedDefaultChar);

// ole32
LPVOID WINAPI CoTaskMemAlloc(SIZE_T bytes);
void WINAPI CoTaskMemFree(LPVOID block);

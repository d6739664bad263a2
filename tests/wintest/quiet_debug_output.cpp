// GoogleTest copies every failure to OutputDebugStringA. Under Wine running on
// qemu-user the debug-output exception that call raises kills the process, so
// the first failing check would end the whole test program without a summary.
// Defining the import slot here binds GoogleTest's call to a no-op instead of
// kernel32's function; the failure text still goes to stdout.
#include <windows.h>

extern "C" {
static void WINAPI QuietOutputDebugStringA(LPCSTR) {}
static void WINAPI QuietOutputDebugStringW(LPCWSTR) {}
void* quietOutputDebugStringA __asm__("__imp__OutputDebugStringA@4") = (void*)QuietOutputDebugStringA;
void* quietOutputDebugStringW __asm__("__imp__OutputDebugStringW@4") = (void*)QuietOutputDebugStringW;
}

// The executable's entry point. It sits in the library so that a program
// made of the framework only needs its application object.
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }


// A DLL that lies beside a program, as one planted on a medium would.
extern "C" __declspec(dllexport) int ReportProbe() { return 7; }

#include "view/piece_host.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

EM_JS(void, CallOnWantPieces, (const char* text), {
  if (Module["onWantPieces"]) Module["onWantPieces"](UTF8ToString(text));
});

EM_JS(void, CallOnPieces, (int shown, int inView), {
  if (Module["onPieces"]) Module["onPieces"](shown, inView);
});

bool PiecesArriveFromHost() { return true; }
void WantPieces(const std::string& text) { CallOnWantPieces(text.c_str()); }
void ReportPieces(int shown, int inView) { CallOnPieces(shown, inView); }

#else

bool PiecesArriveFromHost() { return false; }
void WantPieces(const std::string&) {}
void ReportPieces(int, int) {}

#endif

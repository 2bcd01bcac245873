#pragma once

#include <string>

// What the viewer tells the web page it runs in about a map's pieces
// (docs/site-pieces.md); on a desktop there is no page, and the pieces are
// the folder's files.

// True where pieces arrive as files the page writes, as it fetches them:
// a piece not there yet is coming, and one taken is removed.
bool PiecesArriveFromHost();

// The pieces wanted now, "pieces/L/C_R-HASH" a line, most wanted first.
void WantPieces(const std::string& text);

// Of the pieces the view needs, how many are drawn from their own files.
void ReportPieces(int shown, int inView);

#pragma once

// Whether the dynamic linker gave Tesseract this program's OpenMP entry points (see
// TesseractThreads.cpp). When not, every step of a reading pays libgomp for a thread team.
bool tesseractRegionsAreOurs();

#pragma once
// Small helpers shared by the CXmlDoc tests.
#include "xml/XmlDoc.h"

// Finds the element of that name at the current level and goes into it.
inline bool Enter(CXmlDoc& doc, const char16_t* name) { return doc.FindTag(name) && doc.IntoTag(); }

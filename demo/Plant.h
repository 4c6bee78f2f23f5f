// A plant-sized configuration for the demo: tags numbered by unit, kind and loop, spread over the
// sample areas and regions, with GB2312 descriptions, added through the exported interface.
#pragma once

class CMemTagList;

// Adds `nTags` tags (at most 100,000) to the store of `list`; the number added.
int FillPlant(CMemTagList& list, int nTags);

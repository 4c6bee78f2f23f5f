// The demo's sample configuration: a few hundred tags of all four types in both sources, events,
// tasks and struct objects, loaded through the exported interface from the CSV files (UTF-8) of
// a data folder. The folder's ARInfo.xml (GB2312) holds the areas and regions.
#pragma once

#include <string>

class CMemTagList;

struct SampleCounts {
    int nTags = 0;
    int nEvents = 0;
    int nTasks = 0;
    int nStructs = 0;
    int nFailed = 0;  // calls that returned a failure (their messages are in the error file)
};

// Adds the sample items of `dataDir` to the store of `list`.
SampleCounts LoadSampleData(CMemTagList& list, const std::string& dataDir);

// The digests of the stored copies' bodies (CPageDescr::m_bodyDigest) live
// beside the cache index, whose byte layout every reader of it expects as it
// is: a small text file, written after the index and read after it.
//
// The file: the line "harvion body digests 1", then a line per stored page
// whose digest is known: 32 hexadecimal digits, TAB, the second its copy was
// stored at (decimal), TAB, its local file name. Lines end with LF. A line
// counts only for a record that has that local name, a stored copy and that
// time, so a file out of step with its index (or anyone else's) tells
// nothing: such pages are judged by their dates, as without the file.
#pragma once

#include <cstddef>
#include <string>

class CCache;

namespace hv::cache {

// Its name in the agent folder (it begins with the index's, so an agent
// folder holding it is still all the engine's).
std::string DigestsFileName();

// The file's text for the cache (taking the cache lock); empty when no
// stored page has a digest.
std::string DigestsText(const CCache& cache);
// Gives the records what the text says; returns how many took a digest.
// A text of another format, and lines that name no such record, change
// nothing.
std::size_t ApplyDigests(CCache& cache, const std::string& text);

// Reads the file of the cache's folder; a missing, odd or oversized one
// changes nothing. Reading never writes.
void LoadDigests(CCache& cache);
// Writes the file whole, or removes it when there is nothing to keep,
// counting it in the cache totals like the index. False when it could not
// be written (then no file of an older state is left either).
bool SaveDigests(CCache& cache);

}  // namespace hv::cache

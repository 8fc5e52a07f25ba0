// Removing a folder with everything below it, for project removal.
#pragma once

#include <string>

// Deletes every entry below `folder`, depth first, and then the folder.
// Links (symbolic links, junctions, other reparse points) are removed as
// links and never entered, and `folder` itself, if it is a link, goes as a
// link: nothing outside the tree is ever deleted. Entries that cannot be
// deleted (open for playback, read-only) stay with the folders that hold
// them. True when `folder` itself is gone.
bool remove_tree(const std::u16string& folder);

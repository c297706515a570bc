#pragma once

#include <QString>

// The process's working folder, by its path.
namespace workfolder {

// The absolute path of the working folder. When the folder was deleted while the process
// stood in it, this is still its path (the system remembers it), so a message can name it;
// and once a folder of that path exists again the process moves into it, since every relative
// name would fail in the deleted one. Empty only when the path cannot be learnt at all.
QString current();

} // namespace workfolder

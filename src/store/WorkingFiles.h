#pragma once
// The files the program keeps in its working folder, by bare name (both
// programs make the working folder their current directory). Group files
// are these prefixes followed directly by the host text as stored.

namespace ng::files {

inline constexpr char kHistList[] = "HistList";          // the download history
inline constexpr char kHistLog[] = "HistLog.txt";        // history test rejections
inline constexpr char kFromExcludes[] = "FromExcludes";  // sender excludes
// Content hashes of the pictures saved ("SkipDuplicates").
inline constexpr char kPictureHashes[] = "PictureHashes";
// The hidden work folder: parts of multi-part posts waiting for the rest.
inline constexpr char kPartsFolder[] = ".parts";
inline constexpr char kActiveGroupsPrefix[] = "Groups.";
inline constexpr char kAllGroupsPrefix[] = "AllGroups.";
inline constexpr char kCategoriesPrefix[] = "GroupCat.";
// Per server: accepted articles above a group's mark not yet dealt with.
inline constexpr char kUnfinishedPrefix[] = "Unfinished.";
// Per server: articles the server did not have yet, asked for again later.
inline constexpr char kMissingPrefix[] = "Missing.";
// Per server: the articles dealt with, by message-id and place, for crossposts.
inline constexpr char kCrosspostsPrefix[] = "Crossposts.";

}  // namespace ng::files

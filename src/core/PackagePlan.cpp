#include "core/PackagePlan.h"

#include "core/ArchiveSet.h"

#include <algorithm>
#include <map>

namespace vardelo {
namespace {

struct VolumeSet {
    std::vector<ArchiveVolume> volumes;
    std::vector<std::string> names; // beside `volumes`
    bool hasFirst = false;
    bool firstStartsArchive = false;
};

bool isSameVolumeOverAndOver(const VolumeSet& set) {
    const ArchiveVolume& first = set.volumes.front();
    return set.volumes.size() > 1 &&
           std::all_of(set.volumes.begin(), set.volumes.end(), [&](const ArchiveVolume& v) {
               return v.closing == first.closing && v.position == first.position;
           });
}

std::vector<std::string> inReadingOrder(const VolumeSet& set) {
    std::vector<std::size_t> order(set.volumes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const ArchiveVolume& x = set.volumes[a];
        const ArchiveVolume& y = set.volumes[b];
        return std::pair(x.closing, x.position) < std::pair(y.closing, y.position);
    });
    std::vector<std::string> names;
    for (const std::size_t i : order)
        names.push_back(set.names[i]);
    return names;
}

} // namespace

PackagePlan planUnpacking(const std::vector<PackageFile>& files) {
    PackagePlan plan;
    std::map<std::string, VolumeSet> sets;
    std::vector<std::string> loneArchives;
    for (const PackageFile& file : files) {
        if (!file.arrived)
            plan.missing.push_back(file.name);
        else if (!file.passed)
            plan.failed.push_back(file.name);
        if (const auto volume = archiveVolumeOf(file.name)) {
            VolumeSet& set = sets[volume->setKey()];
            set.volumes.push_back(*volume);
            set.names.push_back(file.name);
            if (volume->position == 1 && !volume->closing) {
                set.hasFirst = true;
                set.firstStartsArchive = file.startsArchive;
            }
        } else if (isArchiveName(file.name)) {
            loneArchives.push_back(file.name);
        }
    }
    bool awaitingFirstPart = false;
    for (const auto& [key, set] : sets) {
        if (set.volumes.front().scheme == VolumeScheme::Numbered) {
            if (!set.hasFirst) { // part 1 tells whether it is an archive at all
                plan.missing.push_back(volumeName(set.volumes.front(), 1));
                awaitingFirstPart = true;
                continue;
            }
            if (!set.firstStartsArchive)
                continue;
        }
        if (isSameVolumeOverAndOver(set)) { // lone archives of one name, from different uploads
            for (const std::string& name : set.names)
                plan.archives.push_back({name});
            continue;
        }
        for (std::string& name : missingVolumes(set.volumes))
            plan.missing.push_back(std::move(name));
        plan.archives.push_back(inReadingOrder(set));
    }
    for (const std::string& name : loneArchives)
        plan.archives.push_back({name});
    if (plan.archives.empty() && !awaitingFirstPart)
        plan.kind = PackagePlan::Kind::Nothing;
    else if (!plan.missing.empty() || !plan.failed.empty())
        plan.kind = PackagePlan::Kind::Waiting;
    else
        plan.kind = PackagePlan::Kind::Unpack;
    return plan;
}

} // namespace vardelo

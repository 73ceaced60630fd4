// A small tool over the stored queue and log, for the demo and for people:
//   vardelo_records queue FILE URL...   write a queue file of these links
//   vardelo_records print FILE          print a queue or log file's rows
//   vardelo_records empty FILE          exit 0 when the stored queue is empty
#include "core/DownloadQueue.h"
#include "core/EventLog.h"
#include "core/RecordFile.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    using namespace vardelo;
    if (argc < 3) {
        std::cerr << "usage: vardelo_records queue|print|empty FILE [URL...]\n";
        return 2;
    }
    const std::string command = argv[1];
    const std::filesystem::path file = argv[2];
    try {
        if (command == "queue") {
            DownloadQueue queue;
            for (int i = 3; i < argc; ++i)
                queue.append(argv[i]);
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                << encodeRecords(queue.grid(), queueRecordLayout());
            return 0;
        }
        const bool isLog = file.filename() == "Naplo.Vdl";
        TextGrid grid(isLog ? 5 : 3);
        std::ifstream in(file, std::ios::binary); // a missing file is an empty list
        decodeRecords(std::string(std::istreambuf_iterator<char>(in), {}),
                      isLog ? logRecordLayout() : queueRecordLayout(), grid);
        if (command == "empty")
            return grid.cell(1, 1).empty() && grid.rowCount() == 2 ? 0 : 1;
        for (int row = 1; row < grid.rowCount(); ++row) {
            for (int column = 0; column < grid.columnCount(); ++column)
                std::cout << (column ? " | " : "") << grid.cell(row, column);
            std::cout << '\n';
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "vardelo_records: " << error.what() << '\n';
        return 1;
    }
}

// Holds a table as another program would, until its input closes:
//   cfgman_tableholder FOLDER TABLE exclusive|shared|RECNO
// prints "held" once the table (or record RECNO) is held.
#include "data/dataset.h"
#include "data/xbtable.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: cfgman_tableholder FOLDER TABLE exclusive|shared|RECNO\n");
        return 2;
    }
    try {
        data::TTable table;
        data::TDataSource source;
        data::TXbTable partner;
        table.SetDatabaseName(argv[1]);
        table.SetTableName(argv[2]);
        const std::string how = argv[3];
        table.SetExclusive(how == "exclusive");
        table.Open();
        source.SetDataSet(&table);
        partner.SetDataSource(&source);
        if (how != "exclusive" && how != "shared" && !partner.Lock(std::atoi(how.c_str()))) {
            std::printf("refused\n");
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    } catch (const std::exception& e) {
        std::printf("failed %s\n", e.what());
        return 1;
    }
}

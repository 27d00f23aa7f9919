// Writes the sample data set into the run folder given on the command line.
#include <cstdio>

#include "tools/ArcadeData.h"
#include "tools/BattleData.h"
#include "tools/HudData.h"
#include "tools/FrontendData.h"
#include "tools/HangarData.h"
#include "tools/MeshData.h"
#include "tools/ModelData.h"
#include "tools/PilotData.h"
#include "tools/RobotData.h"
#include "tools/ShipData.h"
#include "tools/StageData.h"
#include "tools/TitleData.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon_datamaker RUN_FOLDER\n");
        return 2;
    }
    if (!MakeMeshData(argv[1])) return 1;
    if (!MakeModelData(argv[1])) return 1;
    if (!MakePilotData(argv[1])) return 1;
    if (!MakeTitleData(argv[1])) return 1;
    if (!MakeRobotData(argv[1])) return 1;
    if (!MakeShipData(argv[1])) return 1;
    if (!MakeStageData(argv[1])) return 1;
    if (!MakeBattleData(argv[1])) return 1;
    if (!MakeHudData(argv[1])) return 1;
    if (!MakeFrontendData(argv[1])) return 1;
    if (!MakeArcadeData(argv[1])) return 1;
    if (!MakeHangarData(argv[1])) return 1;
    return 0;
}

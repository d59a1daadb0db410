// Stand-in for Apple's AudioUnit framework umbrella header. Never compiled on Apple.
#pragma once
#include <AudioUnit/AUComponent.h>
#include <AudioUnit/AudioUnitProperties.h>
#include <AudioUnit/MusicDevice.h>

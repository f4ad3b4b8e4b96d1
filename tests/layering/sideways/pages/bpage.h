#pragma once
class BPage;

#pragma once
class APage;
